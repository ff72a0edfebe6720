// OrvexClient: the application object, then the main window, run modally for the life
// of the process.
#include <QApplication>

#include "Termination.h"
#include "app/MonitorApp.h"
#include "ui/MonitorDlg.h"

int main(int argc, char** argv) {
    CMonitorApp app;  // starts the day's first log file at once
    QApplication qt(argc, argv);
    app.InitInstance([](CMonitorApp&) {
        CMonitorDlg window;
        const CTermination termination([&window] { window.reject(); });
        window.Start();
        window.exec();
    });
    app.ExitInstance();
    return 0;
}
