#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tracking/clock.h"
#include "tracking/take_log.h"
#include "tracking/takes_csv.h"

namespace taperly {

// The file names whose takes are past keeping at `now_seconds` (since the
// epoch): those the log's rows say Taperly saved (saved, split, recovered)
// and that ended (a recovered one: began) more than `days` days before. A
// name's last row decides: one a later take was saved under, or one
// removed since, is no longer that take. Rows of takes not saved leave the
// file as it was.
std::vector<std::string> takes_past_keeping(const std::vector<LoggedTake>& rows, int days,
                                            long long now_seconds, int local_offset_seconds);

// Removes from `folder` the takes past keeping that its takes.csv names,
// each with a row "removed" in `log`: only a plain file of exactly that
// name in the folder itself, never a folder, a link or the log. A take that
// cannot be removed is told on standard error and stays for the next time.
// The takes removed.
int remove_old_takes(const std::string& folder, int days, const LocalTime& now, TakeLog& log);

// TAPERLY_KEEP_DAYS's value as days, 1 to 3650; none when it is not set or
// empty. Anything else is told on standard error and keeps every take.
std::optional<int> keep_days_asked(const char* setting);

}  // namespace taperly
