#pragma once

#include <QString>

namespace taperly {

// Shows the file at `path` in the desktop's file manager, selected where it
// can be (the file managers' own call on Linux, Explorer on Windows), else
// its folder opened.
void show_in_folder(const QString& path);

}  // namespace taperly
