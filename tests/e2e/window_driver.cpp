// Taperly's window on its real parts, saving into the folder given, with Run
// pressed as soon as it shows: the program the kill test ends mid-take.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/form1.h"
#include "app/real_parts.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TAKES_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    taperly::Form1 form(
        taperly::make_real_parts(folder, QString::fromStdString(folder + "/taperly-help.html")));
    form.show();
    QTimer::singleShot(0, &form, [&form] { form.findChild<QPushButton*>("Command2")->click(); });
    return QApplication::exec();
}
