#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace taperly {

// Takes that a kill, a crash or a power cut left as hidden files in
// `folder` are given visible names that say what they are and when they
// began, "unfinished_9-05-07-PM_12-05-2026.wav", with "_2", "_3" ... before
// ".wav" when that name is taken: no file is ever replaced. Their headers are
// mended so that they play. A take another Taperly is still writing is left
// alone, as is one that cannot be mended; a hidden name of a take that was
// saved already, and one of a take that holds no sound, is removed. The
// names given, in no particular order.
std::vector<std::string> recover_unfinished_takes(const std::string& folder);

// A take recovered so, with what its hidden file told of it.
struct RecoveredTake {
    std::string name;
    // When it began, as its name says it ("9-05-07-PM_12-05-2026"); "" when
    // not known.
    std::string started;
    std::int64_t frames = 0;
};
// The same recovery, telling each take.
std::vector<RecoveredTake> recover_unfinished_takes_told(const std::string& folder);

}  // namespace taperly
