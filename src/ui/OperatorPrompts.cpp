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

    QString ChooseSaveFile(QWidget* owner, const QString& title, const QString& start,
                           const QString& filter) override {
        return QFileDialog::getSaveFileName(owner, title, start, filter);
    }
};

}  // namespace

IOperatorPrompts& OperatorPrompts() {
    static CQtPrompts prompts;
    return prompts;
}
