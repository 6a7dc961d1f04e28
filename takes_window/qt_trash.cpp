#include "takes_window/qt_trash.h"

#include <QFile>

namespace taperly {

bool QtTrash::move_to_trash(const std::string& path, std::string& problem) {
    QFile file(QString::fromStdString(path));
    if (file.moveToTrash()) {
        return true;
    }
    problem = file.errorString().isEmpty() ? std::string("the desktop's trash refused it")
                                           : file.errorString().toStdString();
    return false;
}

}  // namespace taperly
