#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tracking/take_log_listeners.h"
#include "uploads/target_worker.h"
#include "uploads/upload_rows.h"
#include "uploads/upload_settings.h"
#include "uploads/uploads_note.h"

namespace taperly {

struct UploadParts {
    WorkerParts workers;
    // Why others can read the file at this path, in words for the user;
    // empty when only its owner can.
    std::function<std::string(const std::string&)> exposure;
};

// Uploading takes: the targets uploads.ini in the takes folder names, each
// hearing of stored and removed takes through the takes log's one door.
// Without the file nothing happens at all: no thread, no listener.
class Uploads {
  public:
    Uploads(std::string takes_folder, TakeLogListeners& log, UploadParts parts);
    ~Uploads();
    Uploads(const Uploads&) = delete;
    Uploads& operator=(const Uploads&) = delete;

    // Reads uploads.ini when it is there and new or changed since it was
    // last read; a file gone stops every target. True when the file is
    // there (so that its changes are worth watching).
    bool read_settings();
    // What the status line says of uploads; none while all is well or
    // nothing is uploaded.
    std::optional<UploadsNote> note() const;
    // How each target fares, in the file's order.
    std::vector<TargetView> targets() const;
    // The takes still waiting for a target, as their journals on the disk
    // say (also before Run, and for targets no longer in the file): what
    // keeping must not remove. Safe from any thread.
    std::vector<std::string> takes_waiting() const;

    const std::string& settings_path() const { return settings_path_; }

  private:
    void start(const UploadSettings& settings);
    void stop_all();

    std::string takes_folder_;
    std::string work_folder_;
    std::string settings_path_;
    TakeLogListeners& log_;
    UploadParts parts_;
    UploadsCsv rows_;
    // The file as last read, to tell a change.
    std::optional<std::string> read_text_;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<TargetWorker>> workers_;
    std::vector<SettingsProblem> problems_;
    std::string refused_;
    std::shared_ptr<void> listening_;
};

}  // namespace taperly
