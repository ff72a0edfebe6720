// CColorLabel: a text label that paints nothing but its text, in black and in its
// parent's font: each line centred, the first at the top, no word wrap, clipped at
// its edges. It has no background of its own, so the text stands on whatever the
// parent paints behind it, and Qt repaints the parent there before each new text,
// so only the current text ever shows.
//
// Threads: the user-interface thread only, like every widget.
#pragma once

#include <QColor>
#include <QLabel>

class CColorLabel : public QLabel {
    Q_OBJECT

public:
    explicit CColorLabel(QWidget* parent = nullptr);
    explicit CColorLabel(const QString& text, QWidget* parent = nullptr);
    ~CColorLabel() override = default;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QColor TextColor{Qt::black};  // nothing in the program changes it
};
