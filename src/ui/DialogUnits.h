// Dialog units of the dialog templates turned into pixels from the dialog's font: a
// horizontal unit is a quarter of the font's average character width, a vertical unit
// an eighth of its height. UI thread (it reads a font).
#pragma once

#include <QFont>
#include <QRect>

// The dialogs' font, "宋体" at points: a Song-style (serif) CJK face. "宋体" is mapped
// to Noto Serif CJK SC of fonts-noto-cjk, which the package depends on, so that the
// dialog units come from a known font wherever the program runs.
QFont SongDialogFont(int points);

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const { return units * averageWidth_ / 4; }
    int Y(int units) const { return units * height_ / 8; }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }

private:
    int averageWidth_ = 0;  // of the 52 Latin letters, rounded up
    int height_ = 0;
};
