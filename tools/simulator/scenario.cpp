#include "tools/simulator/scenario.h"

#include <charconv>
#include <cmath>

#include "tools/simulator/byte_escapes.h"

namespace taperly::sim {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A field is taken without its surrounding blanks; in double quotes it is
// taken exactly, so display lines can begin or end with spaces, and with the
// escapes of raw, so they can hold what the scenario's own syntax takes (\x7C
// for |).
std::string field_text(std::string_view field) {
    field = trimmed(field);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        return unescape_bytes(field.substr(1, field.size() - 2));
    }
    return std::string(field);
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string_view::npos;
         start = bar + 1) {
        fields.push_back(line.substr(start, bar - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

double parse_seconds(std::string_view field) {
    field = trimmed(field);
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), seconds);
    if (field.empty() || error != std::errc() || end != field.data() + field.size()) {
        throw ScenarioError("the duration \"" + std::string(field) + "\" is not a number");
    }
    if (!std::isfinite(seconds) || seconds <= 0.0) {
        throw ScenarioError("the duration must be more than 0 seconds");
    }
    return seconds;
}

std::string display_line(std::string_view field, const char* which) {
    std::string text = field_text(field);
    if (text.size() > kDisplayWidth) {
        throw ScenarioError(std::string(which) + " \"" + text + "\" is longer than " +
                            std::to_string(kDisplayWidth) + " characters");
    }
    return text;
}

bool parse_heard(std::string_view field) {
    const std::string flag = field_text(field);
    if (flag == "yes") {
        return true;
    }
    if (flag == "no") {
        return false;
    }
    throw ScenarioError("the reception flag is \"" + flag + "\"; write yes or no");
}

void apply_identity_options(std::string_view options, Identity& identity) {
    while (!(options = trimmed(options)).empty()) {
        const auto blank = options.find_first_of(" \t");
        const std::string_view word = options.substr(0, blank);
        options = blank == std::string_view::npos ? std::string_view() : options.substr(blank);
        if (word == "once") {
            identity.once = true;
        } else if (word.starts_with("tgid=")) {
            identity.tgid = std::string(word.substr(5));
        } else if (word.starts_with("type=")) {
            identity.type = std::string(word.substr(5));
        } else {
            throw ScenarioError("unknown identity option \"" + std::string(word) +
                                "\"; known: once, tgid=N, type=T");
        }
    }
}

Moment parse_moment(std::string_view line) {
    const std::vector<std::string_view> fields = split_fields(line);
    if (fields.size() != 4 && fields.size() != 7 && fields.size() != 8) {
        throw ScenarioError("a moment has 4, 7 or 8 fields separated by |, this line has " +
                            std::to_string(fields.size()));
    }
    Moment moment;
    moment.seconds = parse_seconds(fields[0]);
    moment.line1 = display_line(fields[1], "display line 1");
    moment.line2 = display_line(fields[2], "display line 2");
    moment.heard = parse_heard(fields[3]);
    if (fields.size() >= 7) {
        moment.identity.system = field_text(fields[4]);
        moment.identity.group = field_text(fields[5]);
        moment.identity.talkgroup = field_text(fields[6]);
    }
    if (fields.size() == 8) {
        apply_identity_options(fields[7], moment.identity);
    }
    return moment;
}

int parse_remote_speed(std::string_view field) {
    field = trimmed(field);
    if (field.empty()) {
        return kPacedSpeed;
    }
    int speed = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), speed);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() || speed < 1) {
        throw ScenarioError("speed needs a whole number of bit/s above 0, not \"" +
                            std::string(field) + "\"");
    }
    return speed;
}

Step parse_step(std::string_view line) {
    const std::string_view word = line.substr(0, line.find_first_of(" \t"));
    const std::string_view rest = line.substr(word.size());
    if (word == "silent") {
        return Silence{parse_seconds(rest)};
    }
    if (word == "unplug") {
        return Unplug{parse_seconds(rest)};
    }
    if (word == "speed") {
        return RemoteSpeed{parse_remote_speed(rest)};
    }
    if (word == "close") {
        if (trimmed(line) != "close") {
            throw ScenarioError("close takes nothing after it");
        }
        return CloseLine{};
    }
    if (word == "raw") {
        // Only the one separating blank goes; blanks after it are bytes.
        const std::string_view bytes = line.size() > 4 ? line.substr(4) : std::string_view();
        try {
            RawBytes raw{unescape_bytes(bytes)};
            if (raw.bytes.empty()) {
                throw ScenarioError("raw needs at least one byte");
            }
            return raw;
        } catch (const EscapeError& error) {
            throw ScenarioError(std::string("raw bytes: ") + error.what());
        }
    }
    return parse_moment(line);
}

}  // namespace

std::vector<Step> parse_scenario(std::string_view text) {
    std::vector<Step> steps;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#') {
            continue;
        }
        try {
            steps.push_back(parse_step(line.substr(line.find_first_not_of(" \t"))));
        } catch (const ScenarioError& error) {
            throw ScenarioError("line " + std::to_string(number) + ": " + error.what());
        }
    }
    return steps;
}

}  // namespace taperly::sim
