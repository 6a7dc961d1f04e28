#include <QApplication>
#include <QDir>

#include "app/abrupt_end.h"
#include "app/artwork.h"
#include "app/form1.h"
#include "app/quit_signals.h"
#include "app/real_parts.h"
#include "settings/executable_folder.h"

int main(int argc, char* argv[]) {
    taperly::QuitSignals::hold();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Taperly");
    QApplication::setWindowIcon(taperly::window_icon());

    // Settings, takes and the help page all live beside the executable.
    std::string folder = taperly::executable_folder();
    if (folder.empty()) {
        folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    }
    const QString home = QString::fromStdString(folder);
    taperly::Form1 form(taperly::make_real_parts(folder, QDir(home).filePath("taperly-help.html")));
    form.show();
    // A display that goes away ends the program from inside Qt.
    taperly::AbruptEndGuard abrupt_end(form);
    // Logging out, shutting down and Ctrl-C end Taperly as closing it does.
    taperly::QuitSignals quit_signals(form);
    return QApplication::exec();
}
