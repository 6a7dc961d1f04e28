#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "settings/utf8_path.h"
#include "tracking/take_log.h"
#include "tracking/take_log_codec.h"
#include "tracking/take_log_reader.h"

namespace taperly::testing {

inline constexpr int kKeepDays = 30;
inline constexpr int kOffset = -5 * 3600;
inline constexpr std::chrono::hours kDay{24};

inline LocalTime noon(CalendarDate date) {
    return {"", date, {12, 0, 0, kOffset}};
}

inline SteadyTime steady(std::chrono::hours since_start) {
    return std::chrono::duration_cast<SteadyTime>(since_start);
}

// Bytes of a take made from `seed`: longer than the two ends a fingerprint
// reads, so that its middle can change alone.
inline std::string take_bytes(const std::string& seed, std::size_t size = 200 * 1024) {
    std::mt19937 bytes(static_cast<unsigned>(std::hash<std::string>{}(seed)));
    std::string take(size, '\0');
    for (char& byte : take) {
        byte = static_cast<char>(bytes() & 0xFF);
    }
    return take;
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(utf8_path(path), std::ios::binary) << bytes;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(utf8_path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The row of a take with `outcome` that began and ended at noon of `date`.
inline TakeLogEntry row_of(const std::string& name, TakeOutcome outcome, CalendarDate date) {
    TakeLogEntry entry;
    if (outcome == TakeOutcome::kRecovered) {
        entry = recovered_take_entry(name, "12-00-00-PM_01-01-2000", 22050);
        entry.start = noon(date);
        return entry;
    }
    entry.start = noon(date);
    entry.end = noon(date);
    entry.file_name = name;
    entry.outcome = outcome;
    entry.reason = outcome == TakeOutcome::kNotSaved ? "No space left on device" : "";
    entry.frames = 22050;
    return entry;
}

// The rows of the log at `path`, read back through the codec.
inline std::vector<TakeLogEntry> logged_rows(const std::string& path) {
    std::ifstream log(utf8_path(path), std::ios::binary);
    TakeLogReader reader(log);
    std::vector<TakeLogEntry> rows;
    for (std::vector<std::string> fields; reader.next(fields);) {
        if (const std::optional<TakeLogEntry> row = read_take_log_row(fields)) {
            rows.push_back(*row);
        }
    }
    return rows;
}

}  // namespace taperly::testing
