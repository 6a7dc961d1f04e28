#include "uploads/service_calls.h"

#include <charconv>
#include <cmath>

#include "uploads/url_parts.h"

namespace taperly {

namespace {

using Kind = TryOutcome::Kind;

constexpr std::size_t kAnswerRoom = 200;

std::string seconds_of(std::int64_t unix_ms) {
    return std::to_string(unix_ms / 1000);
}

// Services that count whole seconds get at least one: a call of no length
// is refused.
std::string whole_seconds(const QueuedTake& take) {
    return std::to_string(
        std::max<long long>(1, static_cast<long long>(std::ceil(take.seconds()))));
}

void add(HttpRequest& request, const std::string& name, const std::string& value) {
    if (!value.empty()) {
        request.form.push_back({name, value, {}, {}, {}});
    }
}

TryOutcome outcome(Kind kind, const HttpAnswer& answer, std::string reason) {
    TryOutcome result;
    result.kind = kind;
    result.http_status = answer.status;
    result.answer = answer_line(answer.body);
    result.reason = reason.empty() ? result.answer : std::move(reason);
    if (result.reason.empty()) {
        result.reason = "HTTP " + std::to_string(answer.status);
    }
    return result;
}

std::optional<std::chrono::milliseconds> retry_after(const HttpAnswer& answer) {
    const std::optional<std::string> value = answer.header("retry-after");
    long long seconds = -1;
    if (!value ||
        std::from_chars(value->data(), value->data() + value->size(), seconds).ec != std::errc() ||
        seconds < 0) {
        return std::nullopt;
    }
    // A day at most: a service asking for longer is asked again then.
    return std::chrono::seconds(std::min(seconds, 86400LL));
}

// What the way to the service, or a status every service means alike,
// says; none when the answer is the service's own to read.
std::optional<TryOutcome> common_verdict(const HttpAnswer& answer) {
    using Failure = HttpAnswer::Failure;
    switch (answer.failure) {
        case Failure::kNone:
            break;
        case Failure::kCertificate: {
            TryOutcome result;
            result.kind = Kind::kTargetRefused;
            result.reason = answer.failure_text;
            return result;
        }
        case Failure::kFile: {
            TryOutcome result;
            result.kind = Kind::kRefused;
            result.reason = answer.failure_text;
            return result;
        }
        case Failure::kCancelled: {
            TryOutcome result;
            result.kind = Kind::kCancelled;
            result.reason = answer.failure_text;
            return result;
        }
        default: {
            TryOutcome result;
            result.kind = Kind::kPassing;
            result.reason = answer.failure_text;
            return result;
        }
    }
    const int status = answer.status;
    if (status == 408 || status == 425 || status == 429 || status >= 500) {
        TryOutcome result = outcome(Kind::kPassing, answer, {});
        result.reason =
            "HTTP " + std::to_string(status) + (result.answer.empty() ? "" : " " + result.answer);
        result.retry_after = retry_after(answer);
        return result;
    }
    if (status >= 300 && status < 400) {
        // A redirect is never followed: it could take the key elsewhere.
        const std::string to = answer.header("location").value_or("elsewhere");
        return outcome(
            Kind::kTargetRefused, answer,
            "the server sends to " + answer_line(to) + "; put that address in uploads.ini");
    }
    if (status == 404 || status == 405) {
        return outcome(Kind::kTargetRefused, answer,
                       "no call upload at this address (HTTP " + std::to_string(status) + ")");
    }
    return std::nullopt;
}

bool begins(const std::string& text, std::string_view with) {
    return text.rfind(with, 0) == 0;
}

}  // namespace

HttpRequest rdio_scanner_request(const TargetSettings& target, const JournalEntry& entry,
                                 const CallSound& sound) {
    const QueuedTake& take = entry.take;
    HttpRequest request;
    request.url = joined_url(target.url, "/api/call-upload");
    request.time_limit = target.time_limit;
    add(request, "key", target.key);
    request.form.push_back({"audio", {}, sound.path, sound.name, sound.type});
    add(request, "audioName", sound.name);
    add(request, "audioType", sound.type);
    // Version 6 reads the first, version 7 the second.
    add(request, "dateTime", rfc3339(take.start_ms, take.utc_offset_seconds));
    add(request, "timestamp", std::to_string(take.start_ms));
    add(request, "system", target.system);
    add(request, "talkgroup", entry.number);
    add(request, "systemLabel", take.system);
    add(request, "talkgroupLabel", take.text());
    add(request, "talkgroupGroup", take.group);
    return request;
}

HttpRequest openmhz_request(const TargetSettings& target, const JournalEntry& entry,
                            const CallSound& sound) {
    const QueuedTake& take = entry.take;
    HttpRequest request;
    request.url = joined_url(target.url, "/" + target.system + "/upload");
    request.time_limit = target.time_limit;
    request.form.push_back({"call", {}, sound.path, sound.name, sound.type});
    add(request, "api_key", target.key);
    add(request, "talkgroup_num", entry.number);
    add(request, "start_time", seconds_of(take.start_ms));
    add(request, "stop_time", seconds_of(take.end_ms));
    add(request, "call_length", whole_seconds(take));
    // The scanner does not tell its frequency, nor errors or spikes.
    add(request, "freq", "0");
    add(request, "emergency", "0");
    add(request, "error_count", "0");
    add(request, "spike_count", "0");
    add(request, "source_list", "[]");
    return request;
}

HttpRequest broadcastify_request(const TargetSettings& target, const JournalEntry& entry) {
    const QueuedTake& take = entry.take;
    HttpRequest request;
    request.url = joined_url(target.url, "/call-upload");
    request.time_limit = target.time_limit;
    add(request, "apiKey", target.key);
    add(request, "systemId", target.system);
    add(request, "callDuration", whole_seconds(take));
    add(request, "ts", seconds_of(take.start_ms));
    add(request, "tg", entry.number);
    add(request, "src", "0");
    add(request, "freq", "0");
    add(request, "enc", "mp3");
    return request;
}

HttpRequest broadcastify_sound_request(const TargetSettings& target, const std::string& url,
                                       const CallSound& sound) {
    HttpRequest request;
    request.method = "PUT";
    request.url = url;
    request.time_limit = target.time_limit;
    request.body_file = sound.path;
    request.body_type = "audio/mpeg";
    return request;
}

TryOutcome rdio_scanner_verdict(const HttpAnswer& answer) {
    if (auto common = common_verdict(answer)) {
        return *common;
    }
    if (answer.status >= 200 && answer.status < 300) {
        return outcome(Kind::kDelivered, answer, "delivered");
    }
    if (answer.status == 401) {
        TryOutcome refused = outcome(Kind::kTargetRefused, answer, {});
        refused.may_be_this_take_only = true;
        return refused;
    }
    return outcome(Kind::kRefused, answer, {});
}

TryOutcome openmhz_verdict(const HttpAnswer& answer) {
    if (answer.failure == HttpAnswer::Failure::kNone && answer.status == 500) {
        const std::string line = answer_line(answer.body);
        if (begins(line, "API Keys do not match") || begins(line, "ShortName does not exist")) {
            return outcome(Kind::kTargetRefused, answer, {});
        }
        if (begins(line, "Error, invalid filename") || begins(line, "Talkgroup does not exist")) {
            return outcome(Kind::kRefused, answer, {});
        }
    }
    if (auto common = common_verdict(answer)) {
        return *common;
    }
    if (answer.status >= 200 && answer.status < 300) {
        return outcome(Kind::kDelivered, answer, "delivered");
    }
    return outcome(
        answer.status == 401 || answer.status == 403 ? Kind::kTargetRefused : Kind::kRefused,
        answer, {});
}

TryOutcome broadcastify_verdict(const HttpAnswer& answer, std::string& sound_url) {
    if (auto common = common_verdict(answer)) {
        return *common;
    }
    const std::string line = answer_line(answer.body);
    if (answer.status != 200) {
        return outcome(
            answer.status == 401 || answer.status == 403 ? Kind::kTargetRefused : Kind::kRefused,
            answer, {});
    }
    if (begins(line, "0 ")) {
        sound_url = line.substr(2);
        const std::string refusal = url_refusal(sound_url);
        if (!refusal.empty()) {
            sound_url.clear();
            return outcome(Kind::kRefused, answer, "the address for the sound " + refusal);
        }
        return outcome(Kind::kPassing, answer, "sound to send");
    }
    const std::string reason = begins(line, "1 ") ? line.substr(2) : line;
    if (begins(reason, "SKIPPED---ALREADY-RECEIVED-THIS-CALL")) {
        return outcome(Kind::kAlreadyThere, answer, reason);
    }
    if (begins(reason, "REJECTED-CALL-SKEW")) {
        return outcome(Kind::kTooLate, answer, reason);
    }
    if (begins(reason, "Invalid-API-Key") || begins(reason, "API-Key-Access-Denied") ||
        begins(reason, "INVALID-SYSTEM-ID")) {
        return outcome(Kind::kTargetRefused, answer, reason);
    }
    return outcome(Kind::kRefused, answer, reason);
}

TryOutcome broadcastify_sound_verdict(const HttpAnswer& answer) {
    if (auto common = common_verdict(answer)) {
        return *common;
    }
    if (answer.status >= 200 && answer.status < 300) {
        return outcome(Kind::kDelivered, answer, "delivered");
    }
    return outcome(Kind::kRefused, answer,
                   "the sound was refused (HTTP " + std::to_string(answer.status) + ")");
}

std::string answer_line(const std::string& body) {
    std::size_t at = 0;
    std::string line;
    while (at < body.size() && line.empty()) {
        const std::size_t end = std::min(body.find_first_of("\r\n", at), body.size());
        line = body.substr(at, end - at);
        at = end + 1;
        const auto first = line.find_first_not_of(" \t");
        line = first == std::string::npos
                   ? std::string()
                   : line.substr(first, line.find_last_not_of(" \t") - first + 1);
    }
    if (line.size() > kAnswerRoom) {
        std::size_t cut = kAnswerRoom;
        // Not inside a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line = line.substr(0, cut) + "…";
    }
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return line;
}

std::string without_key(std::string text, const std::string& key) {
    if (key.size() < 4) {
        return text;
    }
    const std::string shown = masked_key(key);
    for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
        text.replace(at, key.size(), shown);
        at += shown.size();
    }
    return text;
}

std::string masked_key(const std::string& key) {
    // Two characters of a short key would give too much of it away.
    return "…" + (key.size() >= 8 ? key.substr(key.size() - 2) : std::string());
}

}  // namespace taperly
