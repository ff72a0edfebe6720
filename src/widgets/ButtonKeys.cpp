#include "widgets/ButtonKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class CEnterClicks : public QObject {
public:
    explicit CEnterClicks(QAbstractButton* button) : QObject(button), button_(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != button_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            key->modifiers() & ~Qt::KeypadModifier || !button_->isEnabled()) {
            return false;
        }
        button_->click();
        return true;
    }

private:
    QAbstractButton* const button_;
};

}  // namespace

void ClickOnEnter(QAbstractButton* button) {
    if (button != nullptr) button->installEventFilter(new CEnterClicks(button));
}
