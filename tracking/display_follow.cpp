#include "link/scanner_link.h"
#include "tracking/reception_tracker.h"
#include "tracking/text_ops.h"

namespace taperly {

void ReceptionTracker::follow_display(const ReplyFields& fields) {
    const std::string& line1 = fields.at(1);
    const std::string& line3 = fields.at(3);
    if (line1 == "Quick Freq Save?") {
        send_command(port_, "KEY,P,P");
    }
    if (line3 == " Press Any Key  " && state_.Label1 != "INCC") {
        state_.Label1 = "INCC";
        press_e_key(port_);
    }
    window_.set_mirror_text(line1 + "\r\n" + line3 + "\r\n");
    if (window_.is_minimised()) {
        window_.set_title(trim_spaces(line1) + "/" + trim_spaces(line3));
    } else {
        window_.set_title("Taperly");
    }
}

}  // namespace taperly
