#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageWidth_ = (metrics.horizontalAdvance(letters) + 51) / 52;
    height_ = metrics.height();
}
