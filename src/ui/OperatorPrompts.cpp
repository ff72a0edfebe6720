#include "ui/OperatorPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

class CQtPrompts : public IOperatorPrompts {
public:
    void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    }

    QString ChooseFolder(QWidget* owner, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(owner, title, start);
    }
};

}  // namespace

IOperatorPrompts& OperatorPrompts() {
    static CQtPrompts prompts;
    return prompts;
}
