#include <QApplication>
#include <QDir>

#include "app/artwork.h"
#include "app/form1.h"
#include "app/real_parts.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Taperly");
    QApplication::setWindowIcon(taperly::window_icon());

    // Settings, takes and the help page all live beside the executable.
    const QString home = QCoreApplication::applicationDirPath();
    const std::string folder = QDir::toNativeSeparators(home).toStdString();
    taperly::Form1 form(taperly::make_real_parts(folder, QDir(home).filePath("taperly-help.html")));
    form.show();
    return QApplication::exec();
}
