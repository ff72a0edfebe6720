#include <QApplication>

#include "UiTestSupport.h"

int RunSettingsDlgTests(int argc, char** argv);
int RunPlaybackDlgTests(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int layoutFailures = RunMonitorLayoutTests(argc, argv);
    const int windowFailures = RunMonitorDlgTests(argc, argv);
    const int settingsFailures = RunSettingsDlgTests(argc, argv);
    const int playbackFailures = RunPlaybackDlgTests(argc, argv);
    return layoutFailures + windowFailures + settingsFailures + playbackFailures == 0 ? 0 : 1;
}
