#include <QApplication>

int RunMotionMaskEditorTests(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return RunMotionMaskEditorTests(argc, argv) == 0 ? 0 : 1;
}
