#include <QApplication>

#include "UiTestSupport.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int layoutFailures = RunMonitorLayoutTests(argc, argv);
    const int windowFailures = RunMonitorDlgTests(argc, argv);
    return layoutFailures + windowFailures == 0 ? 0 : 1;
}
