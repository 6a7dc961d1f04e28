#include "uploads/upload_settings.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "uploads/url_parts.h"

namespace taperly {

namespace {

using std::chrono::milliseconds;

struct KindName {
    TargetKind kind;
    const char* section;
    const char* label;
};

constexpr KindName kKinds[] = {
    {TargetKind::kRdioScanner, "rdio-scanner", "Rdio Scanner"},
    {TargetKind::kOpenMhz, "openmhz", "OpenMHz"},
    {TargetKind::kBroadcastifyCalls, "broadcastify-calls", "Broadcastify Calls"},
    {TargetKind::kCommand, "command", "Command"},
};

const KindName& kind_name(TargetKind kind) {
    return *std::find_if(std::begin(kKinds), std::end(kKinds),
                         [kind](const KindName& k) { return k.kind == kind; });
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A value in double quotes is taken as it is between them, blanks included.
std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool is_whole_number(std::string_view text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string_view::npos &&
           text.find_first_not_of('0') != std::string_view::npos;
}

std::string without_leading_zeros(std::string_view digits) {
    return std::string(digits.substr(std::min(digits.find_first_not_of('0'), digits.size())));
}

// Arguments split at blanks; a pair of double quotes holds blanks in one.
std::optional<std::vector<std::string>> split_arguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false, any = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) {
                arguments.push_back(current);
            }
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (any) {
        arguments.push_back(current);
    }
    return arguments;
}

// What a key does with its value: empty, or what is wrong with it.
using KeyRule = std::function<std::string(TargetSettings&, const std::string&)>;

KeyRule duration_rule(milliseconds TargetSettings::*field, milliseconds least) {
    return [field, least](TargetSettings& target, const std::string& value) -> std::string {
        const std::optional<milliseconds> length = duration_of(value);
        if (!length || *length < least) {
            return "\"" + value + "\" is no length of time (write it as 30s, 10m, 12h or 7d)";
        }
        target.*field = *length;
        return {};
    };
}

std::string set_url(TargetSettings& target, const std::string& value) {
    const std::string refusal = url_refusal(value);
    if (!refusal.empty()) {
        return "url " + refusal;
    }
    target.url = value;
    return {};
}

std::string set_key(TargetSettings& target, const std::string& value) {
    if (value.empty()) {
        return "key is empty";
    }
    target.key = value;
    return {};
}

KeyRule number_rule(const char* what) {
    return [what](TargetSettings& target, const std::string& value) -> std::string {
        if (!is_whole_number(value)) {
            return std::string(what) + " must be a whole number above 0";
        }
        target.system = without_leading_zeros(value);
        return {};
    };
}

std::string set_short_name(TargetSettings& target, const std::string& value) {
    if (value.empty() || value.find_first_of("/?#% \t") != std::string::npos) {
        return "short_name must be the system's short name, without / ? # % or blanks";
    }
    target.system = value;
    return {};
}

std::string set_audio(TargetSettings& target, const std::string& value) {
    if (value != "mp3" && value != "as stored") {
        return "audio is \"as stored\" or \"mp3\"";
    }
    target.mp3 = value == "mp3";
    return {};
}

std::string set_program(TargetSettings& target, const std::string& value) {
    if (value.empty()) {
        return "program is empty";
    }
    target.program = value;
    return {};
}

std::string set_arguments(TargetSettings& target, const std::string& value) {
    std::optional<std::vector<std::string>> arguments = split_arguments(value);
    if (!arguments) {
        return "arguments has a double quote that is not closed";
    }
    target.arguments = std::move(*arguments);
    return {};
}

struct KeyOf {
    const char* name;
    KeyRule rule;
};

std::vector<KeyOf> keys_of(TargetKind kind) {
    std::vector<KeyOf> keys{{"max_age", duration_rule(&TargetSettings::max_age, milliseconds(1))},
                            {"first_wait", duration_rule(&TargetSettings::first_wait, {})},
                            {"longest_wait", duration_rule(&TargetSettings::longest_wait, {})}};
    const KeyRule time_limit = duration_rule(&TargetSettings::time_limit, milliseconds(100));
    switch (kind) {
        case TargetKind::kRdioScanner:
            keys.insert(keys.end(), {{"url", set_url},
                                     {"key", set_key},
                                     {"system", number_rule("system")},
                                     {"audio", set_audio},
                                     {"timeout", time_limit}});
            break;
        case TargetKind::kOpenMhz:
            keys.insert(keys.end(), {{"url", set_url},
                                     {"key", set_key},
                                     {"short_name", set_short_name},
                                     {"timeout", time_limit}});
            break;
        case TargetKind::kBroadcastifyCalls:
            keys.insert(keys.end(), {{"url", set_url},
                                     {"key", set_key},
                                     {"system_id", number_rule("system_id")},
                                     {"timeout", time_limit}});
            break;
        case TargetKind::kCommand:
            keys.insert(keys.end(), {{"program", set_program},
                                     {"arguments", set_arguments},
                                     {"time_limit", time_limit}});
            break;
    }
    return keys;
}

// What a whole section must have, in words; empty when it has it.
std::string missing_of(const TargetSettings& target) {
    std::vector<std::string> missing;
    const bool service = target.kind != TargetKind::kCommand;
    if (service && target.url.empty()) {
        missing.emplace_back("url");
    }
    if (service && target.key.empty()) {
        missing.emplace_back("key");
    }
    if (service && target.system.empty()) {
        missing.emplace_back(target.kind == TargetKind::kRdioScanner ? "system"
                             : target.kind == TargetKind::kOpenMhz   ? "short_name"
                                                                     : "system_id");
    }
    if (!service && target.program.empty()) {
        missing.emplace_back("program");
    }
    std::string text;
    for (const std::string& name : missing) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

void set_defaults(TargetSettings& target) {
    using namespace std::chrono_literals;
    // Broadcastify refuses a call seen more than 15 to 60 s after its end.
    target.max_age = target.kind == TargetKind::kBroadcastifyCalls ? 30s : 7 * 24h;
    // Rdio Scanner reads a call for at most 30 s.
    target.time_limit = target.kind == TargetKind::kCommand ? 60s : 30s;
}

bool is_plain_name(std::string_view name) {
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

class Reader {
  public:
    UploadSettings read(std::string_view text) {
        if (text.starts_with("\xEF\xBB\xBF")) {
            text.remove_prefix(3);
        }
        int number = 0;
        while (!text.empty()) {
            ++number;
            const std::size_t end = std::min(text.find('\n'), text.size());
            std::string_view line = text.substr(0, end);
            text.remove_prefix(std::min(end + 1, text.size()));
            if (line.ends_with("\r")) {
                line.remove_suffix(1);
            }
            line = trimmed(line);
            if (line.empty() || line.front() == '#' || line.front() == ';') {
                continue;
            }
            if (line.front() == '[') {
                finish_section();
                begin_section(line, number);
            } else {
                read_pair(line, number);
            }
        }
        finish_section();
        return std::move(settings_);
    }

  private:
    enum class Section { kNone, kTalkgroups, kTarget, kSkipped };

    void problem(int line, std::string text) {
        settings_.problems.push_back({line, std::move(text)});
    }

    void begin_section(std::string_view line, int number) {
        section_ = Section::kSkipped;
        if (!line.ends_with("]")) {
            problem(number, "a section's name ends with ]");
            return;
        }
        const std::string_view inside = trimmed(line.substr(1, line.size() - 2));
        const std::string_view word = inside.substr(0, inside.find_first_of(" \t"));
        const std::string name(trimmed(inside.substr(word.size())));
        if (word == "talkgroups" && name.empty()) {
            section_ = Section::kTalkgroups;
            return;
        }
        const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                       [word](const KindName& k) { return word == k.section; });
        if (kind == std::end(kKinds)) {
            problem(number, "unknown section [" + std::string(inside) +
                                "]; known: talkgroups, rdio-scanner, openmhz, "
                                "broadcastify-calls, command");
            return;
        }
        if (!is_plain_name(name)) {
            problem(number, "a target's name has only letters, digits, - and _");
            return;
        }
        target_ = TargetSettings{};
        target_.kind = kind->kind;
        target_.name = name;
        target_.line = number;
        set_defaults(target_);
        if (std::find(ids_.begin(), ids_.end(), target_.id()) != ids_.end()) {
            problem(number, "a second [" + target_.id() + "]: give each its own name, as in [" +
                                std::string(word) + " second]");
            return;
        }
        ids_.push_back(target_.id());
        target_broken_ = false;
        section_ = Section::kTarget;
    }

    void read_pair(std::string_view line, int number) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problem(number, "a line is a [section], a key = value, or a comment beginning with #");
            target_broken_ = true;
            return;
        }
        const std::string key(trimmed(line.substr(0, equals)));
        const std::string value = unquoted(trimmed(line.substr(equals + 1)));
        switch (section_) {
            case Section::kNone:
                problem(number, "\"" + key + "\" comes before any [section]");
                break;
            case Section::kSkipped:
                break;
            case Section::kTalkgroups:
                if (key.empty()) {
                    problem(number, "a number is given to a text: <text> = <number>");
                } else if (!is_whole_number(value)) {
                    problem(number, "the number of \"" + key + "\" must be a whole number above 0");
                } else {
                    settings_.talkgroups[key] = without_leading_zeros(value);
                }
                break;
            case Section::kTarget:
                read_target_pair(key, value, number);
                break;
        }
    }

    void read_target_pair(const std::string& key, const std::string& value, int number) {
        if (target_.kind == TargetKind::kBroadcastifyCalls && key.starts_with("slot ")) {
            const std::string text(trimmed(std::string_view(key).substr(5)));
            if (text.empty() || !is_whole_number(value)) {
                problem(number, "a slot is written slot <text> = <the slot's ID>");
                target_broken_ = true;
            } else {
                target_.slot_ids[text] = without_leading_zeros(value);
            }
            return;
        }
        for (const KeyOf& known : keys_of(target_.kind)) {
            if (key == known.name) {
                const std::string wrong = known.rule(target_, value);
                if (!wrong.empty()) {
                    problem(number, wrong);
                    target_broken_ = true;
                }
                if (key == "key") {
                    settings_.holds_key = true;
                }
                return;
            }
        }
        std::string names;
        for (const KeyOf& known : keys_of(target_.kind)) {
            names += (names.empty() ? "" : ", ") + std::string(known.name);
        }
        problem(number,
                "[" + target_.id() + "] has no key \"" + key + "\"; its keys: " + names +
                    (target_.kind == TargetKind::kBroadcastifyCalls ? ", slot <text>" : ""));
        target_broken_ = true;
    }

    void finish_section() {
        if (section_ == Section::kTarget && !target_broken_) {
            const std::string missing = missing_of(target_);
            if (!missing.empty()) {
                problem(target_.line, "[" + target_.id() + "] lacks " + missing);
            } else if (target_.longest_wait < target_.first_wait) {
                problem(target_.line, "[" + target_.id() + "]: longest_wait is below first_wait");
            } else {
                settings_.targets.push_back(target_);
            }
        }
        section_ = Section::kNone;
    }

    UploadSettings settings_;
    Section section_ = Section::kNone;
    TargetSettings target_;
    bool target_broken_ = false;
    std::vector<std::string> ids_;
};

}  // namespace

std::string TargetSettings::id() const {
    return std::string(kind_name(kind).section) + (name.empty() ? "" : " " + name);
}

std::string TargetSettings::label() const {
    return std::string(kind_name(kind).label) + (name.empty() ? "" : " " + name);
}

UploadSettings read_upload_settings(std::string_view text) {
    return Reader().read(text);
}

std::optional<std::chrono::milliseconds> duration_of(std::string_view text) {
    text = trimmed(text);
    if (text.size() < 2) {
        return std::nullopt;
    }
    const char unit = text.back();
    const std::string_view number = trimmed(text.substr(0, text.size() - 1));
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    const double seconds_per = unit == 's'   ? 1
                               : unit == 'm' ? 60
                               : unit == 'h' ? 3600
                               : unit == 'd' ? 86400
                                             : 0;
    if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
        seconds_per == 0 || !(value >= 0) || value * seconds_per > 10.0 * 365 * 86400) {
        return std::nullopt;
    }
    return milliseconds(static_cast<long long>(value * seconds_per * 1000 + 0.5));
}

}  // namespace taperly
