#pragma once

#include <optional>
#include <string>
#include <vector>

#include "uploads/target_queue.h"
#include "uploads/upload_settings.h"

namespace taperly {

// What the status line says of uploads, and the whole of it for its tooltip.
struct UploadsNote {
    std::string text;
    std::string detail;
    bool operator==(const UploadsNote&) const = default;
};

// What uploads.ini and the targets come to at `now`, for the window.
struct UploadsFacts {
    // Why the whole file was refused (others can read its keys).
    std::string file_refused;
    std::vector<SettingsProblem> problems;
    std::vector<TargetView> targets;
    // Why uploads.csv could not be written.
    std::string rows_failure;
    UploadSteady now{0};
};

// Told only when something is wrong: the file refused, a mistake in it, a
// target stopped, failing for a minute, or a take refused since its last
// delivery; the first target worst off is named, the tooltip lists each.
std::optional<UploadsNote> uploads_note(const UploadsFacts& facts);

}  // namespace taperly
