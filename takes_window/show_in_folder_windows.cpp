#include <QDir>
#include <QProcess>

#include "takes_window/show_in_folder.h"

namespace taperly {

void show_in_folder(const QString& path) {
    QProcess::startDetached("explorer.exe", {"/select,", QDir::toNativeSeparators(path)});
}

}  // namespace taperly
