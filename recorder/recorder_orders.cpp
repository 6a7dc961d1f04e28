#include "recorder/recorder_orders.h"

namespace taperly {

namespace {

void open_for_recording(RecorderControl& recorder) {
    recorder.setNotify(false);
    recorder.setWait(false);
    recorder.setShareable(false);
    recorder.setDeviceType("WaveAudio");
    recorder.Command("Open");
    recorder.setRecordMode(1);
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
