#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace taperly {

inline constexpr const char* kSettingsFileName = "com_settings.txt";
inline constexpr int kDefaultPollIntervalMs = 100;

// A settings file that exists but cannot be read or written.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the stored lines ask for. A list index the list cannot take becomes -1
// (nothing selected); an interval the timer cannot take is left out, so the
// current one stands.
struct StoredSettings {
    std::optional<int> port_index;
    std::optional<int> speed_index;
    std::optional<int> poll_interval_ms;
};

// What loading the settings changes, in the order the lines are applied.
class SettingsTarget {
  public:
    virtual ~SettingsTarget() = default;
    virtual void select_port(int index) = 0;
    virtual void select_speed(int index) = 0;
    virtual void set_poll_interval(int milliseconds) = 0;
};

inline constexpr int kPortCount = 10;
inline constexpr int kSpeedCount = 4;

std::string settings_path(const std::string& folder);

// What the bytes of a settings file ask for.
StoredSettings parse_settings(const std::string& text);

// Reads the settings file in `folder`; nothing when there is none.
// Throws SettingsError when it exists but cannot be read.
std::optional<StoredSettings> read_settings(const std::string& folder);

// Applies the stored settings to `target`; false (and no change) when the
// file does not exist.
bool load_settings(const std::string& folder, SettingsTarget& target);

// The file's exact bytes for these values.
std::string settings_text(int port_index, int speed_index, int poll_interval_ms);

// Writes the three values, replacing whatever the file held.
// Throws SettingsError when the file cannot be written.
void save_settings(const std::string& folder, int port_index, int speed_index,
                   int poll_interval_ms);

}  // namespace taperly
