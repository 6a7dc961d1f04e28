#pragma once

#include <QApplication>

namespace taperly::testing {

// The one application object the window tests share.
inline QApplication& qt_app() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

}  // namespace taperly::testing
