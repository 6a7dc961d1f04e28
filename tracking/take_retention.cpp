#include "tracking/take_retention.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "recorder/takes/native_file.h"
#include "recorder/wave_recorder.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr long long kSecondsADay = 24LL * 60 * 60;
constexpr const char* kLogName = "takes.csv";

bool begins_with(const std::string& text, const char* start) {
    return text.rfind(start, 0) == 0;
}

// A take Taperly stored under the row's name; a FLAC take saved as WAV
// says why after its word.
bool stored(const std::string& outcome) {
    return outcome == "saved" || outcome == "split" || outcome == "recovered" ||
           begins_with(outcome, "saved (") || begins_with(outcome, "split (");
}

// Rows after which the file is still what it was before them.
bool leaves_file_as_it_was(const std::string& outcome) {
    return outcome == "name taken" || begins_with(outcome, "not saved");
}

long long seconds_of(const LocalTime& time) {
    const std::optional<long long> seconds = seconds_since_epoch(iso_8601(time), 0);
    return seconds.value_or(0);
}

std::optional<std::string> read_whole(const std::string& path) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Only a plain file that is exactly the take's name in the folder itself.
bool removable(const std::string& folder, const std::string& name) {
    if (!is_bare_file_name(name) || name == kLogName || name.front() == '.') {
        return false;
    }
    std::error_code error;
    return std::filesystem::symlink_status(utf8_path(join_path(folder, name)), error).type() ==
           std::filesystem::file_type::regular;
}

}  // namespace

std::vector<std::string> takes_past_keeping(const std::vector<LoggedTake>& rows, int days,
                                            long long now_seconds, int local_offset_seconds) {
    struct Last {
        bool stored = false;
        std::optional<long long> ended;
    };
    std::unordered_map<std::string, Last> last;
    std::vector<std::string> order;
    for (const LoggedTake& row : rows) {
        if (row.file_name.empty() || leaves_file_as_it_was(row.outcome)) {
            continue;
        }
        const bool recovered = row.outcome == "recovered";
        const auto [place, added] = last.try_emplace(row.file_name);
        if (added) {
            order.push_back(row.file_name);
        }
        place->second = {stored(row.outcome), seconds_since_epoch(recovered ? row.start : row.end,
                                                                  local_offset_seconds)};
    }
    std::vector<std::string> past;
    for (const std::string& name : order) {
        const Last& take = last[name];
        if (take.stored && take.ended && now_seconds - *take.ended > days * kSecondsADay) {
            past.push_back(name);
        }
    }
    return past;
}

int remove_old_takes(const std::string& folder, int days, const LocalTime& now, TakeLog& log) {
    const std::optional<std::string> csv = read_whole(join_path(folder, kLogName));
    if (!csv) {
        return 0;
    }
    const std::optional<std::vector<LoggedTake>> rows = read_takes_csv(*csv);
    if (!rows) {
        std::fprintf(stderr, "Taperly: %s is not a takes log; no take is removed\n",
                     join_path(folder, kLogName).c_str());
        return 0;
    }
    int removed = 0;
    for (const std::string& name :
         takes_past_keeping(*rows, days, seconds_of(now), now.wall.utc_offset_seconds)) {
        if (!removable(folder, name)) {
            continue;
        }
        if (!remove_name(join_path(folder, name))) {
            std::fprintf(stderr,
                         "Taperly: %s is older than %d days but cannot be removed (%s); it is "
                         "tried again in an hour\n",
                         name.c_str(), days, std::strerror(errno));
            continue;
        }
        TakeLogEntry entry;
        entry.end = now;
        entry.file_name = name;
        entry.outcome = TakeOutcome::kRemoved;
        log.add(entry);
        ++removed;
    }
    return removed;
}

std::optional<int> keep_days_asked(const char* setting) {
    if (setting == nullptr || *setting == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long days = std::strtol(setting, &end, 10);
    if (*setting < '0' || *setting > '9' || *end != '\0' || errno != 0 || days < 1 || days > 3650) {
        std::fprintf(stderr,
                     "Taperly: TAPERLY_KEEP_DAYS=%s is not a number of days from 1 to 3650; "
                     "every take is kept\n",
                     setting);
        return std::nullopt;
    }
    return static_cast<int>(days);
}

}  // namespace taperly
