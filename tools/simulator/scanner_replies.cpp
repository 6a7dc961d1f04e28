#include "tools/simulator/scanner_replies.h"

namespace taperly::sim {

namespace {

std::string padded(std::string text) {
    if (text.size() < kDisplayWidth) {
        text.resize(kDisplayWidth, ' ');
    }
    return text;
}

// Every character of a line shown plainly, and no icons lit.
const std::string kPlainMode(kDisplayWidth, '_');
const std::string kNoIcons(kDisplayWidth, ' ');

bool has_names(const Identity& identity) {
    return !identity.system.empty() || !identity.group.empty() || !identity.talkgroup.empty();
}

}  // namespace

std::string status_reply(const Moment& moment) {
    const char* squelch = moment.heard ? "1" : "0";
    const char* mute = moment.heard ? "0" : "1";
    return "STS," + padded(moment.line1) + "," + kPlainMode + "," + padded(moment.line2) + "," +
           kPlainMode + "," + kNoIcons + "," + kNoIcons + ",," + squelch + "," + mute + ",3,0\r";
}

std::string identity_reply(const Identity& identity) {
    return "GID," + identity.type + "," + identity.tgid + ",0," + identity.system + "," +
           identity.group + "," + identity.talkgroup + "\r";
}

std::string empty_identity_reply() {
    return "GID,,,,,,\r";
}

std::string ScannerResponder::answer(std::string_view command, const Moment& moment,
                                     std::uint64_t reception) {
    if (command == "STS") {
        return status_reply(moment);
    }
    if (command == "GID") {
        if (!moment.heard || !has_names(moment.identity)) {
            return empty_identity_reply();
        }
        if (moment.identity.once) {
            if (named_reception_ == reception) {
                return empty_identity_reply();
            }
            named_reception_ = reception;
        }
        return identity_reply(moment.identity);
    }
    if (command.starts_with("KEY,")) {
        return "KEY,OK\r";
    }
    return "ERR\r";
}

}  // namespace taperly::sim
