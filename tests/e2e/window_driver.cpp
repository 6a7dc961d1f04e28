// Taperly's window on its real parts, saving into the folder given and ended
// by the signals Taperly's own program is ended by: the program the kill and
// signal tests start. With TAPERLY_RUN_AT_START=1 it runs by itself.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/abrupt_end.h"
#include "app/form1.h"
#include "app/quit_signals.h"
#include "app/real_parts.h"

int main(int argc, char* argv[]) {
    taperly::QuitSignals::hold();
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TAKES_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    taperly::Form1 form(
        taperly::make_real_parts(folder, QString::fromStdString(folder + "/taperly-help.html")));
    form.show();
    taperly::AbruptEndGuard abrupt_end(form);
    taperly::QuitSignals quit_signals(form);
    return QApplication::exec();
}
