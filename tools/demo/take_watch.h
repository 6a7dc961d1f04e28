#pragma once

#include <QDateTime>
#include <optional>
#include <string>
#include <vector>

#include "tools/demo/demo_plan.h"
#include "tracking/take_state.h"

namespace taperly::demo {

// A take as the driver saw it go by.
struct WatchedTake {
    TakeState state;
    // The name the tracker gave it, from its state and the moment it ended.
    std::string name;
    // Its names were in an earlier take: a file stood under each name it
    // could get before it ended.
    bool repeat = false;
    // The file placed under `name` is still byte for byte as placed.
    bool existing_file_untouched = false;
};

// Follows the tracker's take state after each poll: notes every take's
// start and end, and before a take whose names an earlier take had ends,
// puts a small file under each name it can get, so that its name exists.
class TakeWatch {
  public:
    TakeWatch(DemoPlan plan, std::string takes_folder);
    ~TakeWatch();
    TakeWatch(const TakeWatch&) = delete;
    TakeWatch& operator=(const TakeWatch&) = delete;

    // Call after every poll of the scanner and after Stop.
    void look(const TakeState& state);

    const std::vector<WatchedTake>& takes() const { return takes_; }
    bool take_in_progress() const { return current_.has_value(); }
    // Problems seen on the way, in words.
    const std::vector<std::string>& problems() const { return problems_; }

    static constexpr const char* kPlacedText =
        "Taperly demo: an earlier take of this name. Taperly must leave it as it is.\n";

  private:
    struct Current {
        TakeState state;
        QDateTime started;
        std::size_t call = 0;
        bool placed = false;
        std::vector<std::string> placed_names;
    };
    void place_files(Current& take);
    void finish(const QDateTime& ended);
    std::string path(const std::string& name) const;

    DemoPlan plan_;
    std::string folder_;
    std::optional<Current> current_;
    std::vector<WatchedTake> takes_;
    std::vector<std::string> problems_;
};

}  // namespace taperly::demo
