#include "widgets/ColorLabel.h"

#include <QPainter>

CColorLabel::CColorLabel(QWidget* parent) : CColorLabel(QString(), parent) {}

CColorLabel::CColorLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    // Shown as given, never parsed as rich text.
    setTextFormat(Qt::PlainText);
    // Neither may be set: either would stop Qt from repainting the parent behind the
    // label, and the previous text would stay where the new one does not cover it.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setText(text);
}

void CColorLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(parentWidget() != nullptr ? parentWidget()->font() : font());
    painter.setPen(TextColor);
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignTop, text());
}
