// Saves the whole screen of the X display in $DISPLAY as a PNG: the README's
// screenshot and the run command's picture under Xvfb come from here.
// Usage: orvex_screengrab <file.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex_screengrab <file.png>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "orvex_screengrab: cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
