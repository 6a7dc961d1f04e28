#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taperly {

enum class TargetKind { kRdioScanner, kOpenMhz, kBroadcastifyCalls, kCommand };

// One section of uploads.ini: where takes go and how.
struct TargetSettings {
    TargetKind kind = TargetKind::kCommand;
    // The section's own name after its kind, "[rdio-scanner home]"; empty
    // for a section with none.
    std::string name;
    // The line its section begins on.
    int line = 0;
    std::string url;
    std::string key;
    // Rdio Scanner's system number, OpenMHz's short name, Broadcastify's
    // system ID.
    std::string system;
    // Broadcastify's slot IDs of conventional channels, by the text a take
    // has (its talkgroup, or display line 1).
    std::map<std::string, std::string> slot_ids;
    // Rdio Scanner gets MP3 instead of the take as stored.
    bool mp3 = false;
    std::string program;
    std::vector<std::string> arguments;
    // How old a take may be when it is sent (after its end).
    std::chrono::milliseconds max_age{0};
    // A request's longest silence, or the command's time limit.
    std::chrono::milliseconds time_limit{0};
    // The waits between tries while the target fails, growing from the
    // first to the longest.
    std::chrono::milliseconds first_wait{5000};
    std::chrono::milliseconds longest_wait{600000};

    // "rdio-scanner", "rdio-scanner home": what names its queue.
    std::string id() const;
    // "Rdio Scanner", "Rdio Scanner home": what the window calls it.
    std::string label() const;

    bool operator==(const TargetSettings&) const = default;
};

struct SettingsProblem {
    int line = 0;
    std::string text;
};

struct UploadSettings {
    // Only the targets whose sections are whole and right.
    std::vector<TargetSettings> targets;
    // Numbers of talkgroups or channels the scanner gives none for, by text.
    std::map<std::string, std::string> talkgroups;
    std::vector<SettingsProblem> problems;
    // Whether the file holds a key: others must not be able to read it then.
    bool holds_key = false;
};

// uploads.ini's text read; a mistake is a problem with its line number, and
// only the section it is in is left out.
UploadSettings read_upload_settings(std::string_view text);

// "12.5s", "10m", "7d", "1h": none when it is not such a length.
std::optional<std::chrono::milliseconds> duration_of(std::string_view text);

}  // namespace taperly
