#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace taperly {

// Where a take begun from the sound kept between takes starts and ends, for
// sound that comes in dated pieces. Sound from before the take's start that
// the capture hands over late is cut. The reply that ends the take comes a
// line's time after the moment it speaks of, and sound from after that moment
// may have come meanwhile: the newest is held back, and written once older
// than that.
class TakeEdges {
  public:
    using Frames = std::span<const std::int16_t>;
    using Write = std::function<void(Frames)>;
    using Keep = std::function<void(Frames, std::chrono::milliseconds newest_at)>;

    explicit TakeEdges(int sample_rate) : rate_(sample_rate) {}

    // How long the newest sound is held back.
    void hold_for(std::chrono::milliseconds span) { hold_for_ = span; }
    // The take begins at `from`: older sound that comes later is not its.
    void cut_before(std::optional<std::chrono::milliseconds> from) { cut_before_ = from; }
    // Sound of the take, the newest of it captured at `newest_at`: what is
    // due is written.
    void add(Frames frames, std::chrono::milliseconds newest_at, const Write& write);
    // The take ends at `ends_at` (with all it holds when none): the held
    // sound up to then is written, and what came after goes to `keep`, for
    // the next take should one begin soon, never both.
    void end(std::optional<std::chrono::milliseconds> ends_at, const Write& write,
             const Keep& keep);

  private:
    int rate_;
    std::chrono::milliseconds hold_for_{0};
    std::optional<std::chrono::milliseconds> cut_before_;
    std::vector<std::int16_t> held_;
    std::chrono::milliseconds held_newest_at_{0};
};

}  // namespace taperly
