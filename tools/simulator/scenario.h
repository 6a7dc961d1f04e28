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

using Step = std::variant<Moment, RawBytes, CloseLine>;

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
