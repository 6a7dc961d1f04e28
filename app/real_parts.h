#pragma once

#include <QString>
#include <string>

#include "app/form1.h"

namespace taperly {

// The window's parts on real hardware: the serial line, the sound input and
// the system clock. Settings and takes go into `folder`. Run is pressed at
// start when TAPERLY_RUN_AT_START is 1, and calls are split into takes of
// TAPERLY_MAX_TAKE_MINUTES, and saved takes are kept TAPERLY_KEEP_DAYS days
// when set; stored takes are uploaded where uploads.ini in `folder` says. The
// Takes window hears of takes through the log and keeps its index in the
// user's cache folder. Call after the QApplication exists.
Form1Parts make_real_parts(const std::string& folder, const QString& help_page);

}  // namespace taperly
