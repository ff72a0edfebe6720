// CStyledButton: the flat command button of the main window and the settings
// dialog. It paints its whole face itself: an icon left of a word-wrapped caption
// (or centred alone), a one-pixel raised edge while the mouse is over it, a sunken
// edge while it is pressed, an engraved caption and a greyed icon while disabled,
// and never a focus rectangle. A button with a link address opens it when clicked;
// the click then reaches the owner as the ordinary clicked() signal. A double-click
// is two clicks: Qt hands its second press to the button as a press. Space, Enter
// and Return on the focused button click it (ButtonKeys.h). The default-button role
// is QPushButton's own (setDefault, autoDefault in dialogs) and shows no mark.
//
// Threads: the user-interface thread only, like every widget.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QPoint>
#include <QPushButton>
#include <QRect>
#include <QSize>

class QPainter;

// Where the icon and the caption go on a face. Halves are truncated toward zero.
struct StyledButtonLayout {
    QPoint IconTopLeft;  // meaningless without an icon
    QRect CaptionRect;   // the caption block is centred in it
};

// An empty iconSize means no icon. A pressed face moves icon and caption by (1, 1).
StyledButtonLayout PlaceIconAndCaption(const QRect& face, QSize iconSize, bool hasCaption,
                                       bool pressed);

// A block of the given size centred in rect; one larger than rect overflows both of
// its sides alike.
QRect CenterBlock(const QRect& rect, QSize block);

class CStyledButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kIconMarginPx = 3;  // from the face's left edge to the icon
    // The link address lives in a field of this many bytes with its terminator.
    static constexpr int kLinkAddressBytes = 260;

    explicit CStyledButton(QWidget* parent = nullptr);
    explicit CStyledButton(const QString& caption, QWidget* parent = nullptr);
    ~CStyledButton() override = default;

    // Makes ":/icons/<id>.png" of orvex_resources (registered here on first use) the
    // button's only icon, drawn at the image's own size. 0 when done or when there is
    // no such icon (the button then shows its caption alone); 1 when the icon exists
    // but does not decode (dropped likewise).
    int SetIconFromResource(int id);
    // The address a click opens; null or empty for none. Keeps at most
    // kLinkAddressBytes - 1 bytes, cut at a UTF-8 character boundary.
    void SetLinkAddress(const char* address);
    const QByteArray& LinkAddress() const { return LinkAddressText; }

protected:
    // Fills the face with the colour of the current state.
    virtual void PaintBackground(QPainter& painter, const QRect& face);
    // The one-pixel edge: raised while hovered, sunken while pressed.
    virtual void PaintEdge(QPainter& painter, const QRect& face);
    void ClearHover();

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void OnClicked();
    void HandFocusOn();
    bool IsUnderCursor(QPoint pos) const;

    bool HoverFlag = false;
    // Read once, at construction: a later palette change leaves face and caption as
    // they were, while edges and the disabled caption follow it.
    const QColor HoverBackground;
    const QColor HoverText;
    const QColor NormalBackground;
    const QColor NormalText;
    const QColor FocusedBackground;
    QByteArray LinkAddressText;  // UTF-8, shorter than kLinkAddressBytes
    QIcon Icon;
    int IconWidth = 0;
    int IconHeight = 0;
};
