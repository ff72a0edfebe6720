// The About box: the application icon, "OrvexClient 1.0 版" and an OK button, laid out
// from its template in dialog units. Modal, no behaviour beyond closing. UI thread.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
