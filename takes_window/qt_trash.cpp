#include "takes_window/qt_trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace taperly {

bool QtTrash::move_to_trash(const std::string& path, std::string& problem) {
    // Qt makes the trash in the data folder but not the folder itself; with
    // no trash it moves the file to "files/" of the working folder and calls
    // that done (Qt 6.4).
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString original = QString::fromStdString(path);
    QFile file(original);
    if (!file.moveToTrash()) {
        problem = file.errorString().isEmpty() ? std::string("the desktop's trash refused it")
                                               : file.errorString().toStdString();
        return false;
    }
    const QString moved = file.fileName();
    if (QFileInfo(moved).isRelative()) {
        // Not the trash: put back where it was, never over a file.
        QFile::rename(moved, original);
        problem = "the desktop's trash could not be found";
        return false;
    }
    return true;
}

}  // namespace taperly
