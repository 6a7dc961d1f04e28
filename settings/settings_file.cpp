#include "settings/settings_file.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "settings/file_exists.h"
#include "settings/number_text.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// Lines may end in CR LF (as written), LF alone or CR alone.
std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

// A list index as stored: -1 when the list has no such entry.
int list_index(const std::string& line, int entries) {
    const double index = round_half_to_even(leading_number(line));
    if (index < -1 || index >= entries) {
        return -1;
    }
    return static_cast<int>(index);
}

// The interval, when the timer can run at it.
std::optional<int> poll_interval(const std::string& line) {
    const double value = leading_number(line);
    const double milliseconds = round_half_to_even(value);
    if (!std::isfinite(milliseconds) || milliseconds < 1 || milliseconds > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(milliseconds);
}

std::string reason(const std::string& path) {
    const int error = errno;
    std::string why = error != 0 ? std::strerror(error) : "unknown error";
    return path + ": " + why;
}

}  // namespace

std::string settings_path(const std::string& folder) {
    return join_path(folder, kSettingsFileName);
}

StoredSettings parse_settings(const std::string& text) {
    const std::vector<std::string> lines = split_lines(text);
    StoredSettings stored;
    if (lines.size() > 0) {
        stored.port_index = list_index(lines[0], kPortCount);
    }
    if (lines.size() > 1) {
        stored.speed_index = list_index(lines[1], kSpeedCount);
    }
    if (lines.size() > 2) {
        stored.poll_interval_ms = poll_interval(lines[2]);
    }
    return stored;
}

std::optional<StoredSettings> read_settings(const std::string& folder) {
    const std::string path = settings_path(folder);
    if (!file_exists(path)) {
        return std::nullopt;
    }
    errno = 0;
    std::ifstream file(utf8_path(path), std::ios::binary);
    if (!file) {
        throw SettingsError("Cannot read the settings file " + reason(path));
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw SettingsError("Cannot read the settings file " + reason(path));
    }
    return parse_settings(text);
}

bool load_settings(const std::string& folder, SettingsTarget& target) {
    const std::optional<StoredSettings> stored = read_settings(folder);
    if (!stored) {
        return false;
    }
    if (stored->port_index) {
        target.select_port(*stored->port_index);
    }
    if (stored->speed_index) {
        target.select_speed(*stored->speed_index);
    }
    if (stored->poll_interval_ms) {
        target.set_poll_interval(*stored->poll_interval_ms);
    }
    return true;
}

std::string settings_text(int port_index, int speed_index, int poll_interval_ms) {
    return std::to_string(port_index) + "\r\n" + std::to_string(speed_index) + "\r\n" +
           std::to_string(poll_interval_ms) + "\r\n";
}

void save_settings(const std::string& folder, int port_index, int speed_index,
                   int poll_interval_ms) {
    const std::string path = settings_path(folder);
    const std::string text = settings_text(port_index, speed_index, poll_interval_ms);
    errno = 0;
    std::ofstream file(utf8_path(path), std::ios::binary | std::ios::trunc);
    if (!file) {
        throw SettingsError("Cannot write the settings file " + reason(path));
    }
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
        throw SettingsError("Cannot write the settings file " + reason(path));
    }
}

}  // namespace taperly
