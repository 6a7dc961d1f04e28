#include "archive/take_facts.h"

#include <cmath>

#include "archive/civil_time.h"
#include "archive/take_names.h"
#include "recorder/takes/take_format.h"
#include "tracking/take_log_codec.h"

namespace taperly {

namespace {

std::int64_t start_of(const LocalTime& time, bool offset_known, const LocalZone& zone) {
    return offset_known ? utc_seconds(time) : zone.utc_of_local(local_seconds(time));
}

}  // namespace

bool stores_take(const TakeLogEntry& row) {
    return outcome_word(row.outcome).stores_take;
}

TakeFacts facts_of_row(const TakeLogEntry& row, const LocalZone& zone) {
    TakeFacts facts;
    facts.file_name = row.file_name;
    if (row.start) {
        facts.start = start_of(*row.start, row.offsets_known, zone);
        if (row.offsets_known) {
            facts.utc_offset = row.start->wall.utc_offset_seconds;
        }
    }
    facts.milliseconds = row.frames * 1000 / kTakeSampleRate;
    facts.texts = {row.system, row.group, row.talkgroup, row.display_line1, row.display_line2};
    if (row.peak && *row.peak > 0) {
        facts.peak_decibel_tenths =
            static_cast<int>(std::lround(200.0 * std::log10(*row.peak / 32768.0)));
    }
    facts.source = TakeSource::kLog;
    return facts;
}

TakeFacts facts_of_file(const std::string& name, const FileReading& file, const LocalZone& zone) {
    const NameReading named = read_take_name(name);
    TakeFacts facts;
    facts.file_name = name;
    facts.milliseconds = file.milliseconds;
    facts.source = file.texts || file.start ? TakeSource::kTags : TakeSource::kName;
    facts.texts = file.texts.value_or(named.texts);
    if (file.start) {
        facts.start = start_of(*file.start, file.offset_known, zone);
        if (file.offset_known) {
            facts.utc_offset = file.start->wall.utc_offset_seconds;
        }
    } else if (named.start) {
        facts.start = start_of(*named.start, false, zone);
    }
    return facts;
}

}  // namespace taperly
