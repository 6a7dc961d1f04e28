#include "bench/take_reading.h"

#include <sndfile.h>

#include <algorithm>

#include "bench/signal_code.h"

namespace taperly::bench {

namespace {

// A position where two whole pairs in a row read consistently: the feed's
// number there is trusted even right after a break.
std::optional<std::int64_t> steady_number_at(const std::vector<std::int16_t>& frames,
                                             std::size_t at) {
    const auto here = sample_number_at(frames, at);
    const auto next = sample_number_at(frames, at + 2);
    if (here && next && *next == *here + 2) {
        return here;
    }
    return std::nullopt;
}

}  // namespace

Recording read_recording(const std::string& path) {
    Recording recording;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        recording.error = sf_strerror(nullptr);
        return recording;
    }
    recording.rate = info.samplerate;
    recording.channels = info.channels;
    if (info.channels == 1) {
        recording.frames.resize(static_cast<std::size_t>(info.frames));
        const sf_count_t got = sf_readf_short(file, recording.frames.data(), info.frames);
        recording.frames.resize(static_cast<std::size_t>(got));
    } else {
        recording.error = "not mono";
    }
    sf_close(file);
    return recording;
}

Continuity check_continuity(const std::vector<std::int16_t>& frames) {
    Continuity result;
    result.frames = static_cast<std::int64_t>(frames.size());
    std::size_t at = 0;
    std::optional<std::int64_t> offset;
    // Silence or damage before the signal first shows counts as altered.
    while (at < frames.size() && !offset) {
        if (const auto number = steady_number_at(frames, at)) {
            offset = *number - static_cast<std::int64_t>(at);
        } else {
            ++at;
            ++result.altered;
        }
    }
    if (!offset) {
        return result;
    }
    // A take may begin with the odd half of a pair, which reads only
    // together with what follows.
    std::size_t first = at;
    while (first > 0 &&
           frames[first - 1] == signal_sample(static_cast<std::int64_t>(first) - 1 + *offset)) {
        --first;
        --result.altered;
    }
    result.first_number = *offset + static_cast<std::int64_t>(first);
    std::size_t last_good = at;
    while (at < frames.size()) {
        const auto index = static_cast<std::int64_t>(at);
        if (frames[at] == signal_sample(index + *offset)) {
            last_good = at;
            ++at;
            continue;
        }
        // A break: find where the signal reads steadily again.
        std::size_t resume = at;
        std::optional<std::int64_t> number;
        while (resume < frames.size() && !(number = steady_number_at(frames, resume))) {
            ++resume;
        }
        if (!number) {
            result.altered += static_cast<std::int64_t>(frames.size() - at);
            break;
        }
        const std::int64_t new_offset = *number - static_cast<std::int64_t>(resume);
        std::int64_t altered = 0;
        for (std::size_t between = at; between < resume; ++between) {
            const auto b = static_cast<std::int64_t>(between);
            if (frames[between] != signal_sample(b + *offset) &&
                frames[between] != signal_sample(b + new_offset)) {
                ++altered;
            }
        }
        result.altered += altered;
        if (new_offset > *offset) {
            result.lost += new_offset - *offset;
        } else {
            // Foreign samples put in (silence, say) also push the feed back;
            // only what is left over was recorded twice.
            result.duplicated += std::max<std::int64_t>(0, *offset - new_offset - altered);
        }
        offset = new_offset;
        at = resume;
    }
    result.last_number = *offset + static_cast<std::int64_t>(last_good);
    return result;
}

std::optional<TakeSpan> take_span(const std::vector<std::int16_t>& frames) {
    // Too short to hold two whole pairs of the signal.
    if (frames.size() < 4) {
        return std::nullopt;
    }
    std::optional<std::int64_t> first_offset;
    std::optional<std::int64_t> last_offset;
    for (std::size_t at = 0; at + 3 < frames.size(); ++at) {
        if (const auto number = steady_number_at(frames, at)) {
            first_offset = *number - static_cast<std::int64_t>(at);
            break;
        }
    }
    if (!first_offset) {
        return std::nullopt;
    }
    for (std::size_t at = frames.size() - 4;; --at) {
        if (const auto number = steady_number_at(frames, at)) {
            last_offset = *number - static_cast<std::int64_t>(at);
            break;
        }
        if (at == 0) {
            break;
        }
    }
    return TakeSpan{*first_offset, *last_offset + static_cast<std::int64_t>(frames.size())};
}

}  // namespace taperly::bench
