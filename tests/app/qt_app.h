#pragma once

#include <QApplication>

namespace taperly::testing {

// The one application object the window tests share. It is never destroyed:
// destroying it among the program's static objects at exit would outlive
// parts of Qt it needs.
inline QApplication& qt_app() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace taperly::testing
