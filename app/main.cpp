#include <QApplication>
#include <QDir>

#include "app/artwork.h"
#include "app/form1.h"
#include "app/system_clock.h"
#include "link/serial_scanner_port.h"
#include "recorder/sound_recorder.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Taperly");
    QApplication::setWindowIcon(taperly::window_icon());

    // Settings, takes and the help page all live beside the executable.
    const QString home = QCoreApplication::applicationDirPath();
    const std::string folder = QDir::toNativeSeparators(home).toStdString();
    taperly::Form1Parts parts{
        [](taperly::LinkLostHandler on_link_lost) -> std::unique_ptr<taperly::ScannerPort> {
            return std::make_unique<taperly::SerialScannerPort>(std::move(on_link_lost));
        },
        taperly::make_sound_recorder(folder), std::make_unique<taperly::SystemClock>(), folder,
        QDir(home).filePath("taperly-help.html")};
    taperly::Form1 form(std::move(parts));
    form.show();
    return QApplication::exec();
}
