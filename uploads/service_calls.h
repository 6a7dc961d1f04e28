#pragma once

#include <string>

#include "uploads/http_exchange.h"
#include "uploads/try_outcome.h"
#include "uploads/upload_journal.h"
#include "uploads/upload_settings.h"

namespace taperly {

// The sound a try sends: the take as stored, or its MP3.
struct CallSound {
    std::string path;
    // The name it is sent under, and its type.
    std::string name;
    std::string type;
};

// The requests the call services take, field for field as they document
// them, and what their answers mean.
HttpRequest rdio_scanner_request(const TargetSettings& target, const JournalEntry& entry,
                                 const CallSound& sound);
HttpRequest openmhz_request(const TargetSettings& target, const JournalEntry& entry,
                            const CallSound& sound);
// Broadcastify Calls takes a call in two steps: its facts, answered with an
// address for its sound, and then the sound put there.
HttpRequest broadcastify_request(const TargetSettings& target, const JournalEntry& entry);
HttpRequest broadcastify_sound_request(const TargetSettings& target, const std::string& url,
                                       const CallSound& sound);

TryOutcome rdio_scanner_verdict(const HttpAnswer& answer);
TryOutcome openmhz_verdict(const HttpAnswer& answer);
// `sound_url` gets the address the sound goes to when the facts are taken.
TryOutcome broadcastify_verdict(const HttpAnswer& answer, std::string& sound_url);
TryOutcome broadcastify_sound_verdict(const HttpAnswer& answer);

// The first line of a service's answer that says anything, at most 200
// bytes of it, cut where a character ends.
std::string answer_line(const std::string& body);
// `text` with every appearance of `key` shown as its last two characters.
std::string without_key(std::string text, const std::string& key);
// A key as it may be shown: "…" and its last two characters.
std::string masked_key(const std::string& key);

}  // namespace taperly
