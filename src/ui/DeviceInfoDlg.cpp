#include "ui/DeviceInfoDlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "ui/DialogUnits.h"
#include "ui/OperatorPrompts.h"
#include "ui/SystemSettingsDlg.h"
#include "ui/Utf8LimitValidator.h"
#include "widgets/ButtonKeys.h"

namespace {

constexpr int kFontPoints = 10;
constexpr const char* kNote = "提示";

}  // namespace

CDeviceInfoDlg::CDeviceInfoDlg(QWidget* parent) : QDialog(parent), prompts_(&OperatorPrompts()) {
    ZeroDeviceInfo(camera_);
    setWindowTitle(QString::fromUtf8("修改设备信息"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const QFont dialogFont = SongDialogFont(kFontPoints);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);
    setFixedSize(du.X(266), du.Y(155));

    (new QLabel(QString::fromUtf8("自定义设备名称："), this))->setGeometry(du.Rect(18, 39, 62, 8));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("1026"));
    name_->setGeometry(du.Rect(82, 36, 103, 14));
    name_->setValidator(new CUtf8LimitValidator(kNameBytes, name_));
    (new QLabel(QString::fromUtf8("(将叠加到视频上)"), this))->setGeometry(du.Rect(192, 39, 67, 8));
    (new QLabel(QString::fromUtf8("是否录像："), this))->setGeometry(du.Rect(40, 60, 38, 8));
    record_ = new QCheckBox(this);
    record_->setObjectName(QStringLiteral("1028"));
    record_->setGeometry(du.Rect(83, 60, 16, 8));
    auto* save = new QPushButton(QString::fromUtf8("保存"), this);
    save->setObjectName(QStringLiteral("1029"));
    save->setGeometry(du.Rect(88, 97, 64, 17));
    // Enter on the focused button saves; elsewhere it closes the dialog (keyPressEvent).
    save->setAutoDefault(false);
    ClickOnEnter(save);
    connect(save, &QPushButton::clicked, this, &CDeviceInfoDlg::OnSave);
}

void CDeviceInfoDlg::showEvent(QShowEvent* event) {
    // Every run starts from the camera; a window system's own show (a restore) does not.
    if (!event->spontaneous()) OnInitDialog();
    QDialog::showEvent(event);
}

void CDeviceInfoDlg::OnInitDialog() {
    record_->setChecked(camera_.RecordFlag != 0);
    name_->setText(
        QString::fromUtf8(camera_.CustomDeviceName,
                          strnlen(camera_.CustomDeviceName, sizeof camera_.CustomDeviceName)));
    name_->setFocus();
}

void CDeviceInfoDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDeviceInfoDlg::OnSave() {
    const QByteArray name = name_->text().toUtf8();
    if (name.isEmpty()) {
        prompts_->ShowMessage(this, QString::fromUtf8(kNote),
                              QString::fromUtf8("自定义名称不能为空"));
        return;
    }
    camera_.RecordFlag = record_->isChecked() ? 1 : 0;
    SetDeviceName(camera_.CustomDeviceName, name.constData());
    // The owner ignores a record that matches none of its rows; the operator must
    // not be told it was changed.
    const bool changed = owner_ == nullptr || owner_->UpdateDevice(camera_) != 0;
    prompts_->ShowMessage(
        this, QString::fromUtf8(kNote),
        QString::fromUtf8(changed ? "修改成功" : "设备已不在列表中，未做任何修改"));
    // Closed once the message is gone; the settings dialog does not look at the result.
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}
