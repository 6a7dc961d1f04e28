// Draws the SVG artwork into the PNG files that builds without Qt's SVG
// module (Windows) show instead, and the icon Windows shows for taperly.exe:
// scripts/artwork-png runs it into app/.
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "app/artwork.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool saved = taperly::logo_pixmap().save(folder + "/taperly-logo.png");
    for (const int size : {16, 32}) {
        saved = taperly::window_icon()
                    .pixmap(size, size)
                    .save(folder + QString("/taperly-icon-%1.png").arg(size)) &&
                saved;
    }
    saved =
        taperly::window_icon().pixmap(32, 32).save(folder + "/taperly-icon.ico", "ICO") && saved;
    if (!saved) {
        std::fprintf(stderr, "%s: cannot write the PNG and ICO files into %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
