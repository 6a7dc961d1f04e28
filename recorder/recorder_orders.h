#pragma once

#include <string>

#include "recorder/recorder_control.h"

namespace taperly {

// Opens the recorder, records and closes it again without saving, so that
// the sound input is known to work before the first take.
void warm_up_recorder(RecorderControl& recorder);

// Opens the recorder (refused harmlessly when open) and records (carried on
// when already recording). Given on every status reply during a take.
void open_and_record(RecorderControl& recorder);

// The status-line text for a recorder mode.
std::string recorder_mode_text(int mode);

// What a firing of the mode timer writes into the status line.
std::string show_recorder_mode(const RecorderControl& recorder);

}  // namespace taperly
