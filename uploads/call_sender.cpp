#include "uploads/call_sender.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "recorder/takes/native_file.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"
#include "uploads/service_calls.h"

namespace taperly {

namespace {

using Kind = TryOutcome::Kind;

// Removes a work file however the try ends.
class WorkFile {
  public:
    explicit WorkFile(std::string path) : path_(std::move(path)) {}
    ~WorkFile() { remove_name(path_); }
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TryOutcome failed(Kind kind, std::string reason) {
    TryOutcome result;
    result.kind = kind;
    result.reason = std::move(reason);
    return result;
}

std::string extension_of(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string mp3_name(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ".mp3";
}

std::string json_text(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace

ServiceSender::ServiceSender(TargetSettings target, std::string takes_folder,
                             std::string work_folder, HttpClient& http, SoundEncoder& encoder,
                             CommandRunner& runner, const std::atomic<bool>& cancelled)
    : target_(std::move(target)),
      takes_folder_(std::move(takes_folder)),
      work_folder_(std::move(work_folder)),
      http_(http),
      encoder_(encoder),
      runner_(runner),
      cancelled_(cancelled) {}

std::string ServiceSender::work_file(const std::string& suffix) const {
    std::string id = target_.id();
    std::replace(id.begin(), id.end(), ' ', '_');
    const std::string path = join_path(work_folder_, id + suffix);
    // One a crash left is no use to anyone.
    remove_name(path);
    return path;
}

TryOutcome ServiceSender::send(const JournalEntry& entry,
                               const std::function<void(const std::string&)>& stepped) {
    if (!file_exists(join_path(takes_folder_, entry.take.file_name))) {
        return failed(Kind::kRefused, "the take's file is gone");
    }
    TryOutcome outcome =
        target_.kind == TargetKind::kCommand ? run_command(entry) : send_to_service(entry, stepped);
    // Whatever a service answers, or a command writes, the key is not shown.
    outcome.answer = without_key(outcome.answer, target_.key);
    outcome.reason = without_key(outcome.reason, target_.key);
    return outcome;
}

std::optional<TryOutcome> ServiceSender::sound_for(const JournalEntry& entry,
                                                   const std::string& mp3, CallSound& sound) {
    const std::string take = join_path(takes_folder_, entry.take.file_name);
    if (mp3.empty()) {
        const std::string extension = extension_of(entry.take.file_name);
        sound = {take, entry.take.file_name, extension == "flac" ? "audio/flac" : "audio/wav"};
        return std::nullopt;
    }
    sound = {mp3, mp3_name(entry.take.file_name), "audio/mpeg"};
    const std::string failure = encoder_.encode_mp3(take, sound.path, cancelled_);
    if (cancelled_) {
        return failed(Kind::kCancelled, "Taperly is closing");
    }
    if (!failure.empty()) {
        // A take that cannot be read never will be; a full disk passes.
        const bool room = folder_free_bytes(work_folder_).value_or(1 << 20) < (1 << 20);
        return failed(room ? Kind::kPassing : Kind::kRefused, "MP3 not made: " + failure);
    }
    return std::nullopt;
}

TryOutcome ServiceSender::send_to_service(const JournalEntry& entry,
                                          const std::function<void(const std::string&)>& stepped) {
    const bool mp3 = target_.kind != TargetKind::kRdioScanner || target_.mp3;
    std::string sound_url = entry.sound_url;
    if (target_.kind == TargetKind::kBroadcastifyCalls && sound_url.empty()) {
        TryOutcome facts = broadcastify_verdict(
            http_.send(broadcastify_request(target_, entry), cancelled_), sound_url);
        if (sound_url.empty()) {
            return facts;
        }
        stepped(sound_url);
    }
    const WorkFile mp3_file(mp3 ? work_file(".mp3") : std::string());
    CallSound sound;
    if (const auto failure = sound_for(entry, mp3_file.path(), sound)) {
        return *failure;
    }
    switch (target_.kind) {
        case TargetKind::kRdioScanner:
            return rdio_scanner_verdict(
                http_.send(rdio_scanner_request(target_, entry, sound), cancelled_));
        case TargetKind::kOpenMhz:
            return openmhz_verdict(http_.send(openmhz_request(target_, entry, sound), cancelled_));
        case TargetKind::kBroadcastifyCalls:
            return broadcastify_sound_verdict(
                http_.send(broadcastify_sound_request(target_, sound_url, sound), cancelled_));
        case TargetKind::kCommand:
            break;
    }
    return failed(Kind::kRefused, "no such service");
}

TryOutcome ServiceSender::run_command(const JournalEntry& entry) {
    const std::string take = join_path(takes_folder_, entry.take.file_name);
    const WorkFile json(work_file(".json"));
    const WorkFile output(work_file(".out"));
    {
        std::ofstream file(utf8_path(json.path()), std::ios::binary);
        file << call_json(entry, take);
        if (!file.flush()) {
            return failed(Kind::kPassing,
                          "the call's JSON file cannot be written in " + work_folder_);
        }
    }
    std::vector<std::string> arguments{target_.program};
    arguments.insert(arguments.end(), target_.arguments.begin(), target_.arguments.end());
    arguments.push_back(take);
    arguments.push_back(json.path());
    const CommandResult result =
        runner_.run(arguments, target_.time_limit, output.path(), cancelled_);
    TryOutcome outcome;
    outcome.answer = result.last_line;
    if (result.cancelled) {
        outcome.kind = Kind::kCancelled;
        outcome.reason = "Taperly is closing";
    } else if (!result.failure.empty()) {
        outcome.kind = Kind::kPassing;
        outcome.reason = result.failure;
    } else if (result.timed_out) {
        outcome.kind = Kind::kPassing;
        outcome.reason = "ended after running longer than its time limit";
    } else if (result.exit_code != 0) {
        outcome.kind = Kind::kPassing;
        outcome.reason = "exit status " + std::to_string(result.exit_code) +
                         (result.last_line.empty() ? "" : ": " + result.last_line);
    } else {
        outcome.kind = Kind::kDelivered;
        outcome.reason = "delivered";
    }
    return outcome;
}

std::string call_json(const JournalEntry& entry, const std::string& take_path) {
    const QueuedTake& take = entry.take;
    char length[32];
    std::snprintf(length, sizeof length, "%.3f", take.seconds());
    const std::pair<const char*, std::string> fields[] = {
        {"start_time", std::to_string(take.start_ms / 1000)},
        {"stop_time", std::to_string(take.end_ms / 1000)},
        {"call_length", length},
        {"talkgroup", entry.number.empty() ? "null" : entry.number},
        {"talkgroup_tag", json_text(take.text())},
        {"talkgroup_group", json_text(take.group)},
        {"audio_type", json_text(extension_of(take.file_name))},
        {"file", json_text(take.file_name)},
        {"path", json_text(take_path)},
        {"start", json_text(rfc3339(take.start_ms, take.utc_offset_seconds))},
        {"stop", json_text(rfc3339(take.end_ms, take.utc_offset_seconds))},
        {"system", json_text(take.system)},
        {"group", json_text(take.group)},
        {"talkgroup_name", json_text(take.talkgroup)},
        {"talkgroup_id", json_text(take.talkgroup_id)},
        {"display_line_1", json_text(take.display_line1)},
        {"display_line_2", json_text(take.display_line2)},
    };
    std::string json = "{\n";
    for (const auto& [name, value] : fields) {
        json += std::string(json.size() > 2 ? ",\n" : "") + "  \"" + name + "\": " + value;
    }
    return json + "\n}\n";
}

}  // namespace taperly
