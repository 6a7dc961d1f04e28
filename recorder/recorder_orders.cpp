#include "recorder/recorder_orders.h"

namespace taperly {

namespace {

// The recorder records one way only (a new take of its own format, for this
// program alone, overwriting nothing): there are no options to give first.
void open_for_recording(RecorderControl& recorder) {
    recorder.Command("Open");
    recorder.Command("Record");
}

}  // namespace

void warm_up_recorder(RecorderControl& recorder) {
    open_for_recording(recorder);
    recorder.setFileName("start.wav");
    recorder.Command("stop");
    recorder.Command("close");
}

void open_and_record(RecorderControl& recorder) {
    open_for_recording(recorder);
}

std::string recorder_mode_text(int mode) {
    if (mode == kModeNotOpen) {
        return "Waiting";
    }
    if (mode == kModeRecording) {
        return "Recording";
    }
    return std::to_string(mode);
}

std::string show_recorder_mode(const RecorderControl& recorder) {
    return recorder_mode_text(recorder.Mode());
}

}  // namespace taperly
