#include "app/real_parts.h"

#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "app/system_clock.h"
#include "keeping/take_keeper.h"
#include "link/make_scanner_port.h"
#include "playback/make_take_player.h"
#include "recorder/sound_recorder.h"
#include "tracking/take_log_file.h"
#include "tracking/take_log_listeners.h"
#include "uploads/uploads_room.h"

namespace taperly {

namespace {

bool run_at_start() {
    const char* value = std::getenv("TAPERLY_RUN_AT_START");
    return value != nullptr && std::string_view(value) == "1";
}

// TAPERLY_MAX_TAKE_MINUTES, 1 to 1440: a day's take stays far below the
// 4 GiB a WAV file can describe.
std::chrono::minutes longest_take() {
    constexpr int kDefault = 60;
    const char* value = std::getenv("TAPERLY_MAX_TAKE_MINUTES");
    if (value == nullptr || *value == '\0') {
        return std::chrono::minutes(kDefault);
    }
    char* end = nullptr;
    const long minutes = std::strtol(value, &end, 10);
    if (*end != '\0' || minutes < 1 || minutes > 1440) {
        std::fprintf(stderr,
                     "Taperly: TAPERLY_MAX_TAKE_MINUTES=%s is not a number of minutes from 1 to "
                     "1440; takes are split every %d minutes\n",
                     value, kDefault);
        return std::chrono::minutes(kDefault);
    }
    return std::chrono::minutes(minutes);
}

// Its own SystemClock: keeping reads it from a thread of its own.
KeepingClock keeping_clock() {
    const auto clock = std::make_shared<SystemClock>();
    return {[clock] { return clock->local_time(); }, [clock] { return clock->steady_time(); }};
}

}  // namespace

Form1Parts make_real_parts(const std::string& folder, const QString& help_page) {
    // Every row goes to takes.csv first, then to whoever listens: the
    // uploads, and the Takes window while it is open.
    auto log = std::make_unique<TakeLogListeners>(std::make_unique<TakeLogFile>(folder));
    TakeLogListeners* listeners = log.get();
    auto uploads = std::make_unique<UploadsRoom>(folder, *log);
    Form1Parts parts{[](LinkLostHandler on_link_lost) -> std::unique_ptr<ScannerPort> {
                         return make_scanner_port(std::move(on_link_lost));
                     },
                     make_sound_recorder(folder),
                     std::make_unique<SystemClock>(),
                     folder,
                     help_page,
                     run_at_start(),
                     longest_take(),
                     std::move(log),
                     keep_days_asked(std::getenv("TAPERLY_KEEP_DAYS")),
                     keeping_clock()};
    parts.uploads = std::move(uploads);
    parts.take_log_listeners = listeners;
    parts.player = make_take_player();
    parts.index_folder =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation).toStdString();
    return parts;
}

}  // namespace taperly
