#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace taperly::sim {

// The names a scanner gives for what it hears.
struct Identity {
    std::string system;
    std::string group;
    std::string talkgroup;
    std::string type = "TRK";
    std::string tgid = "0";
    // Named once per reception and then "GID,,,,,," as later scanners do.
    bool once = false;

    bool operator==(const Identity&) const = default;
};

// A stretch of time in which the scanner shows the same thing.
struct Moment {
    double seconds = 0.0;
    std::string line1;
    std::string line2;
    bool heard = false;
    // Empty names when the scenario gives none.
    Identity identity;

    bool operator==(const Moment&) const = default;
};

// Bytes put on the line as they are, paced like any reply.
struct RawBytes {
    std::string bytes;
    bool operator==(const RawBytes&) const = default;
};

// The line ends: the simulator closes its side and exits.
struct CloseLine {
    bool operator==(const CloseLine&) const = default;
};

// For `seconds` the scanner takes in commands and answers none, as when it
// is switched off; the moment before it shows again afterwards.
struct Silence {
    double seconds = 0.0;
    bool operator==(const Silence&) const = default;
};

// The cable is pulled for `seconds`, then the line comes back as another
// device (behind the same link, when the simulator keeps one).
struct Unplug {
    double seconds = 0.0;
    bool operator==(const Unplug&) const = default;
};

// The scanner's remote speed from here on. When the line is set to another
// speed, what the scanner sends arrives as garbage.
struct RemoteSpeed {
    // kPacedSpeed: the speed the simulator paces the line at (--speed).
    int bits_per_second = 0;
    bool operator==(const RemoteSpeed&) const = default;
};
inline constexpr int kPacedSpeed = -1;

using Step = std::variant<Moment, RawBytes, CloseLine, Silence, Unplug, RemoteSpeed>;

class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The longest text a display line shows.
inline constexpr std::size_t kDisplayWidth = 16;

// Reads a scenario (its format is in the simulator's --help). Throws
// ScenarioError naming the line number and what is wrong.
std::vector<Step> parse_scenario(std::string_view text);

}  // namespace taperly::sim
