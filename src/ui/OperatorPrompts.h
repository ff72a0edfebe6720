// How the dialogs tell the operator something and let them pick a folder or a file to
// write: message boxes with an OK button, the folder browser and the save dialog. A dialog asks
// through this interface so that tests can answer in place of an operator, without a modal run that
// would wait for one.
//
// Threads: the UI thread only.
#pragma once

#include <QString>

class QWidget;

// The caption of a message box that names none: the application's title.
constexpr const char* kApplicationTitle = "OrvexClient";

class IOperatorPrompts {
public:
    virtual ~IOperatorPrompts() = default;

    // Shows text in a box owned by owner and returns once the operator closed it.
    virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The folder the operator picked, starting from start; empty when cancelled or when
    // the choice has no path in the file system.
    virtual QString ChooseFolder(QWidget* owner, const QString& title, const QString& start) = 0;
    // The file the operator chose to write, proposed as start, of the kinds filter names
    // ("MP4 (*.mp4)"); empty when cancelled.
    virtual QString ChooseSaveFile(QWidget* owner, const QString& title, const QString& start,
                                   const QString& filter) = 0;
};

// The operator's own: QMessageBox, QFileDialog::getExistingDirectory and
// QFileDialog::getSaveFileName.
IOperatorPrompts& OperatorPrompts();
