#include "widgets/StyledButton.h"

#include <QDesktopServices>
#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QUrl>
#include <cstring>

#include "platform/Text.h"
#include "resources/IconResources.h"
#include "widgets/ButtonKeys.h"

namespace {

// Wrapped at word breaks, each line centred; '&' marks a mnemonic, as on any push button.
constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::TextShowMnemonic;

// Always the active group: the button must look the same in an inactive window.
QColor PaletteColor(const QWidget& widget, QPalette::ColorRole role) {
    return widget.palette().color(QPalette::Active, role);
}

}  // namespace

StyledButtonLayout PlaceIconAndCaption(const QRect& face, QSize iconSize, bool hasCaption,
                                       bool pressed) {
    StyledButtonLayout layout{QPoint(), face};
    if (!iconSize.isEmpty()) {
        const int y = face.top() + (face.height() - iconSize.height()) / 2;
        if (hasCaption) {
            layout.IconTopLeft = QPoint(face.left() + CStyledButton::kIconMarginPx, y);
            layout.CaptionRect.setLeft(face.left() + iconSize.width() +
                                       CStyledButton::kIconMarginPx);
        } else {
            layout.IconTopLeft = QPoint(face.left() + (face.width() - iconSize.width()) / 2, y);
        }
    }
    if (pressed) {
        layout.IconTopLeft += QPoint(1, 1);
        layout.CaptionRect.translate(1, 1);
    }
    return layout;
}

QRect CenterBlock(const QRect& rect, QSize block) {
    return QRect(rect.topLeft(), block)
        .translated((rect.width() - block.width()) / 2, (rect.height() - block.height()) / 2);
}

CStyledButton::CStyledButton(QWidget* parent) : CStyledButton(QString(), parent) {}

CStyledButton::CStyledButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent),
      HoverBackground(PaletteColor(*this, QPalette::Button)),
      HoverText(PaletteColor(*this, QPalette::ButtonText)),
      NormalBackground(PaletteColor(*this, QPalette::Button)),
      NormalText(PaletteColor(*this, QPalette::ButtonText)),
      FocusedBackground(PaletteColor(*this, QPalette::Button)) {
    // Hover follows every move, not only drags; the face is painted whole, so nothing
    // behind it needs erasing.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Connected first, so the button's own action runs before the owner's handlers.
    connect(this, &QAbstractButton::clicked, this, &CStyledButton::OnClicked);
    ClickOnEnter(this);
}

int CStyledButton::SetIconFromResource(int id) {
    RegisterIconResources();
    Icon = QIcon();
    IconWidth = 0;
    IconHeight = 0;
    const QString path = QStringLiteral(":/icons/%1.png").arg(id);
    int result = 0;
    if (QFile::exists(path)) {
        const QPixmap pixmap(path);
        if (pixmap.isNull()) {
            result = 1;
        } else {
            Icon = QIcon(pixmap);
            IconWidth = pixmap.width();
            IconHeight = pixmap.height();
        }
    }
    update();
    return result;
}

void CStyledButton::SetLinkAddress(const char* address) {
    LinkAddressText.clear();
    if (address != nullptr) {
        const size_t kept = Utf8PrefixLength(address, std::strlen(address), kLinkAddressBytes - 1);
        LinkAddressText = QByteArray(address, static_cast<qsizetype>(kept));
    }
}

void CStyledButton::PaintBackground(QPainter& painter, const QRect& face) {
    QColor color = NormalBackground;
    if (HoverFlag || isDown()) {
        color = HoverBackground;
    } else if (hasFocus()) {
        color = FocusedBackground;
    }
    painter.fillRect(face, color);
}

void CStyledButton::PaintEdge(QPainter& painter, const QRect& face) {
    const QColor light = PaletteColor(*this, QPalette::Light);
    const QColor dark = PaletteColor(*this, QPalette::Dark);
    const QColor topLeft = isDown() ? dark : light;
    const QColor bottomRight = isDown() ? light : dark;
    const int x = face.left();
    const int y = face.top();
    const int w = face.width();
    const int h = face.height();
    // The bottom and right lines take both far corners, as a 3-D frame does.
    painter.fillRect(x, y, w - 1, 1, topLeft);
    painter.fillRect(x, y, 1, h - 1, topLeft);
    painter.fillRect(x + w - 1, y, 1, h, bottomRight);
    painter.fillRect(x, y + h - 1, w, 1, bottomRight);
}

void CStyledButton::ClearHover() {
    if (!HoverFlag) return;
    HoverFlag = false;
    update();
}

void CStyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect face = rect();
    const bool pressed = isDown();
    const bool disabled = !isEnabled();
    PaintBackground(painter, face);
    if (pressed || HoverFlag) PaintEdge(painter, face);

    const QString caption = text();
    const QSize iconSize = Icon.isNull() ? QSize() : QSize(IconWidth, IconHeight);
    const StyledButtonLayout layout =
        PlaceIconAndCaption(face, iconSize, !caption.isEmpty(), pressed);
    if (!Icon.isNull()) {
        Icon.paint(&painter, QRect(layout.IconTopLeft, iconSize), Qt::AlignCenter,
                   disabled ? QIcon::Disabled : QIcon::Normal);
    }
    if (caption.isEmpty()) return;

    const QSize measured =
        fontMetrics().boundingRect(layout.CaptionRect, kCaptionFlags, caption).size();
    const QRect block = CenterBlock(layout.CaptionRect, measured);
    // The block is exactly as large as the text; never clip a word that is wider.
    const int flags = kCaptionFlags | Qt::TextDontClip;
    if (disabled) {
        painter.setPen(PaletteColor(*this, QPalette::Light));
        painter.drawText(block.translated(1, 1), flags, caption);
        painter.setPen(PaletteColor(*this, QPalette::Dark));
    } else {
        painter.setPen(HoverFlag || pressed ? HoverText : NormalText);
    }
    painter.drawText(block, flags, caption);
}

void CStyledButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    // A drag that began elsewhere, or that left the button, never lights it.
    if ((event->buttons() & Qt::LeftButton) && !HoverFlag) return;
    if (!IsUnderCursor(event->position().toPoint())) {
        ClearHover();
    } else if (!HoverFlag) {
        HoverFlag = true;
        update();
    }
}

void CStyledButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    ClearHover();
}

void CStyledButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    ClearHover();
}

bool CStyledButton::event(QEvent* event) {
    const bool handled = QPushButton::event(event);
    // Child widgets learn of their window's deactivation from this event alone.
    if (event->type() == QEvent::WindowDeactivate) ClearHover();
    return handled;
}

void CStyledButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        // Only when this button itself is disabled: disabling a whole dialog must
        // not move the focus around inside it.
        if (testAttribute(Qt::WA_ForceDisabled)) HandFocusOn();
        ClearHover();
    }
}

void CStyledButton::OnClicked() {
    setFocus(Qt::OtherFocusReason);
    // The outcome is not looked at: a link that does not open changes nothing here.
    if (!LinkAddressText.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromUtf8(LinkAddressText)));
    }
}

void CStyledButton::HandFocusOn() {
    QWidget* parent = parentWidget();
    if (parent == nullptr) return;
    // The next tab stop among the parent's widgets, wrapping around, else the parent:
    // whether or not this button had the focus.
    for (QWidget* next = nextInFocusChain(); next != nullptr && next != this;
         next = next->nextInFocusChain()) {
        if (parent->isAncestorOf(next) && next->isEnabled() && next->isVisibleTo(window()) &&
            (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    parent->setFocus(Qt::OtherFocusReason);
}

bool CStyledButton::IsUnderCursor(QPoint pos) const {
    if (!rect().contains(pos)) return false;
    // A sibling laid over this button hides it.
    return isWindow() || window()->childAt(mapTo(window(), pos)) == this;
}
