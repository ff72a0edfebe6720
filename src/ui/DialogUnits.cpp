#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

QFont SongDialogFont(int points) {
    static const bool mapped = [] {
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
        return true;
    }();
    (void)mapped;
    QFont font(QStringLiteral("宋体"), points);
    font.setStyleHint(QFont::Serif);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageWidth_ = (metrics.horizontalAdvance(letters) + 51) / 52;
    height_ = metrics.height();
}
