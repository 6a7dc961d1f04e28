// Saves a part of the X screen as a PNG: taperly-screen-grab FILE X Y WIDTH HEIGHT.
// scripts/screenshot uses it to picture the window under a virtual display.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() != 6) {
        std::fprintf(stderr, "usage: taperly-screen-grab FILE X Y WIDTH HEIGHT\n");
        return 2;
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, arguments[2].toInt(), arguments[3].toInt(), arguments[4].toInt(), arguments[5].toInt());
    if (shot.isNull() || !shot.save(arguments[1], "PNG")) {
        std::fprintf(stderr, "taperly-screen-grab: cannot save %s\n", qPrintable(arguments[1]));
        return 1;
    }
    return 0;
}
