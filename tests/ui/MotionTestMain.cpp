#include <QApplication>

int RunMotionMaskEditorTests(int argc, char** argv);
int RunMotionSettingsDlgTests(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int editorFailures = RunMotionMaskEditorTests(argc, argv);
    const int dialogFailures = RunMotionSettingsDlgTests(argc, argv);
    return editorFailures + dialogFailures == 0 ? 0 : 1;
}
