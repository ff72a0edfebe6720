#include "ui/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/DialogUnits.h"

namespace {
constexpr int kFontPoints = 9;
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("关于 OrvexClient"));
    setFont(SongDialogFont(kFontPoints));
    const CDialogUnits du(font());
    setFixedSize(du.X(235), du.Y(55));

    auto* icon = new QLabel(this);
    const QPixmap picture(QStringLiteral(":/icons/128.png"));
    icon->setPixmap(picture);
    icon->setGeometry(du.X(11), du.Y(17), picture.width(), picture.height());

    auto* version = new QLabel(QString::fromUtf8("OrvexClient 1.0 版"), this);
    version->setGeometry(du.Rect(40, 10, 119, 8));

    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
