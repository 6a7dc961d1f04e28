#include "tools/demo/take_watch.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/system_clock.h"
#include "tools/demo/take_prediction.h"

namespace taperly::demo {

namespace {

// The texts the window's clock gives at `when`.
struct ClockTexts {
    std::string time;
    CalendarDate date;
};

ClockTexts clock_texts(const QDateTime& when) {
    SystemClock clock(QLocale::system(), [when] { return when; });
    const LocalTime now = clock.local_time();
    return {now.time_of_day, now.date};
}

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

TakeWatch::TakeWatch(DemoPlan plan, std::string takes_folder)
    : plan_(std::move(plan)), folder_(std::move(takes_folder)) {}

TakeWatch::~TakeWatch() = default;

std::string TakeWatch::path(const std::string& name) const {
    return (std::filesystem::path(folder_) / name).string();
}

void TakeWatch::look(const TakeState& state) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!current_ && state.take_in_progress()) {
        current_ = Current{state, now, takes_.size(), false, {}};
    }
    if (!current_) {
        return;
    }
    if (!state.take_in_progress()) {
        finish(now);
        return;
    }
    current_->state = state;
    if (!current_->placed && has_identity_names(state)) {
        current_->placed = true;
        for (const WatchedTake& earlier : takes_) {
            if (has_identity_names(earlier.state) && same_identity_names(earlier.state, state)) {
                place_files(*current_);
                break;
            }
        }
    }
}

void TakeWatch::place_files(Current& take) {
    if (take.call >= plan_.calls.size()) {
        problems_.push_back("take " + std::to_string(take.call + 1) +
                            " has no call in the scenario to tell its length");
        return;
    }
    // The take ends at the first quiet status after the call, so its end
    // second lies within a second or two of the call's length after its start.
    const double seconds = plan_.calls[take.call].seconds;
    const auto earliest = static_cast<qint64>(std::floor(seconds)) - 2;
    const auto latest = static_cast<qint64>(std::ceil(seconds)) + 2;
    for (qint64 offset = std::max<qint64>(earliest, 0); offset <= latest; ++offset) {
        const ClockTexts end = clock_texts(take.started.addSecs(offset));
        const std::string name = predict_take_name(take.state, end.time, end.date);
        if (std::filesystem::exists(path(name))) {
            continue;
        }
        std::ofstream(path(name), std::ios::binary) << kPlacedText;
        take.placed_names.push_back(name);
    }
}

void TakeWatch::finish(const QDateTime& ended) {
    Current take = std::move(*current_);
    current_.reset();
    // The tracker read its clock a moment before this look; should a second
    // have turned in between, the name carries the second before.
    const ClockTexts end = clock_texts(ended);
    const ClockTexts just_before = clock_texts(ended.addMSecs(-500));
    WatchedTake watched{take.state, predict_take_name(take.state, end.time, end.date),
                        !take.placed_names.empty(), false};
    const std::string other = predict_take_name(take.state, just_before.time, just_before.date);
    const auto placed = [&](const std::string& name) {
        return std::find(take.placed_names.begin(), take.placed_names.end(), name) !=
               take.placed_names.end();
    };
    const auto found = [&](const std::string& name) {
        return watched.repeat ? placed(name) : std::filesystem::exists(path(name));
    };
    if (!found(watched.name) && found(other)) {
        watched.name = other;
    }
    for (const std::string& name : take.placed_names) {
        if (name == watched.name) {
            watched.existing_file_untouched = file_text(path(name)) == kPlacedText;
        } else {
            // Names the take did not get; they stood only for this take.
            std::error_code ignored;
            std::filesystem::remove(path(name), ignored);
        }
    }
    if (watched.repeat && std::find(take.placed_names.begin(), take.placed_names.end(),
                                    watched.name) == take.placed_names.end()) {
        problems_.push_back("the repeated call ended outside the seconds prepared for it: " +
                            watched.name);
    }
    takes_.push_back(std::move(watched));
}

}  // namespace taperly::demo
