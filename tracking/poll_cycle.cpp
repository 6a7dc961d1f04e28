#include <algorithm>

#include "link/scanner_link.h"
#include "link/status_fields.h"
#include "tracking/file_name_limits.h"
#include "tracking/poll_phase.h"
#include "tracking/reception_tracker.h"
#include "tracking/reply_timing.h"

namespace taperly {

namespace {

// What a whole reply that is neither status nor identity says, when it is
// one of the scanner's answers (capital letters up to its first comma: "ERR",
// "NG", "FER") rather than bytes garbled at the wrong speed. A key press's
// "KEY,OK" is an answer to it, not to a poll.
std::string reply_word(std::string_view reply) {
    const std::string_view word = reply.substr(0, reply.find_first_of(",\r"));
    const bool letters =
        !word.empty() && word.size() <= 8 &&
        std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    return letters && word != "KEY" ? std::string(word) : std::string();
}

}  // namespace

ReceptionTracker::ReceptionTracker(ScannerPort& port, RecorderControl& recorder, Clock& clock,
                                   DisplayWindow& window, std::string takes_folder)
    : port_(port),
      recorder_(recorder),
      clock_(clock),
      window_(window),
      takes_folder_(std::move(takes_folder)),
      folder_refuses_(refused_name_characters(takes_folder_)) {}

void ReceptionTracker::look_at_takes_folder() {
    folder_refuses_ = refused_name_characters(takes_folder_);
}

void ReceptionTracker::poll_tick() {
    const std::optional<double> phase = poll_phase_value(dox_);
    if (phase == 1.0) {
        port_.wake_at_reply_end(true);
        status_asked_ = clock_.steady_time();
        send_command(port_, "STS");
    } else if (phase == 2.0) {
        send_command(port_, "GID");
    }
    read_scanner_reply();
}

void ReceptionTracker::read_scanner_reply() {
    handle_arrived_replies();
    dox_ = poll_phase_value(dox_) == 1.0 ? "2" : "1";
}

void ReceptionTracker::handle_arrived_replies() {
    if (port_.pending_input_count() != 0) {
        const std::string arrived = port_.read_pending_input();
        if (!arrived.empty()) {
            activity_.last_byte = clock_.steady_time();
        }
        received_ += arrived;
    }
    // The scanner ends every reply with a carriage return; at 9600 bit/s a
    // status reply takes longer than a poll interval to arrive, so replies
    // are put together across firings and handled one whole reply at a time.
    bool last_status_answered = false;
    std::size_t end;
    while ((end = received_.find('\r')) != std::string::npos) {
        const std::string reply = received_.substr(0, end + 1);
        received_.erase(0, end + 1);
        // Whatever follows it in this read came after its carriage return.
        const SteadyTime arrived =
            clock_.steady_time() - line_time(received_.size(), bits_per_second_);
        last_status_answered = false;
        if (dispatch(reply, arrived)) {
            activity_.last_reply = clock_.steady_time();
            activity_.other_reply.clear();
            // Half its time on the line: the line may run a little fast.
            last_status_answered =
                is_status_reply(reply) &&
                arrived - status_asked_ >= line_time(reply.size(), bits_per_second_) / 2;
        } else if (const std::string word = reply_word(reply); !word.empty()) {
            activity_.other_reply = word;
        }
    }
    // Until the next status poll only the identity reply is to come, and it
    // starts and ends nothing: it may wait and come with the next status
    // reply, in its place before it, and the program sleep through it.
    if (last_status_answered && received_.empty()) {
        port_.wake_at_reply_end(false);
    }
    if (received_.size() > kReceiveBufferSize) {
        received_.erase(0, received_.size() - kReceiveBufferSize);
    }
}

bool ReceptionTracker::dispatch(std::string_view reply, SteadyTime arrived) {
    if (is_identity_reply(reply)) {
        handle_identity_reply(reply);
        return ReplyFields(reply).highest_index() >= kIdentityHighestIndex;
    }
    if (is_status_reply(reply)) {
        const ReplyFields fields = status_fields(reply);
        if (fields.highest_index() >= kStatusHighestIndex) {
            time_status_reply(fields, reply.size(), arrived);
            handle_status_reply(fields);
            return true;
        }
    }
    return false;
}

}  // namespace taperly
