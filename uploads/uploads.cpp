#include "uploads/uploads.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr const char* kSettingsName = "uploads.ini";
constexpr const char* kWorkFolderName = ".taperly-uploads";

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

Uploads::Uploads(std::string takes_folder, TakeLogListeners& log, UploadParts parts)
    : takes_folder_(std::move(takes_folder)),
      work_folder_(join_path(takes_folder_, kWorkFolderName)),
      settings_path_(join_path(takes_folder_, kSettingsName)),
      log_(log),
      parts_(std::move(parts)),
      rows_(join_path(takes_folder_, "uploads.csv")) {}

Uploads::~Uploads() {
    stop_all();
}

bool Uploads::read_settings() {
    const std::optional<std::string> text =
        file_exists(settings_path_) ? read_file(settings_path_) : std::nullopt;
    if (text == read_text_) {
        return text.has_value();
    }
    read_text_ = text;
    if (!text) {
        stop_all();
        return false;
    }
    UploadSettings settings = read_upload_settings(*text);
    std::string refused;
    if (settings.holds_key) {
        refused = parts_.exposure(settings_path_);
    }
    if (!refused.empty()) {
        settings.targets.clear();
    }
    {
        const std::lock_guard lock(mutex_);
        problems_ = settings.problems;
        refused_ = refused;
    }
    start(settings);
    return true;
}

void Uploads::start(const UploadSettings& settings) {
    std::error_code ignored;
    std::filesystem::create_directory(utf8_path(work_folder_), ignored);
    std::vector<std::unique_ptr<TargetWorker>> gone;
    {
        const std::lock_guard lock(mutex_);
        std::vector<std::unique_ptr<TargetWorker>> kept;
        for (const TargetSettings& target : settings.targets) {
            const auto same = std::find_if(
                workers_.begin(), workers_.end(),
                [&](const auto& worker) { return worker && worker->target() == target; });
            if (same != workers_.end()) {
                (*same)->resume(settings.talkgroups);
                kept.push_back(std::move(*same));
            } else {
                kept.push_back(std::make_unique<TargetWorker>(target, settings.talkgroups,
                                                              takes_folder_, work_folder_,
                                                              parts_.workers, rows_));
            }
        }
        for (auto& worker : workers_) {
            if (worker) {
                gone.push_back(std::move(worker));
            }
        }
        workers_ = std::move(kept);
    }
    // Ended outside the lock: the door may hand a row on meanwhile.
    gone.clear();
    if (workers_.empty()) {
        listening_.reset();
    } else if (!listening_) {
        listening_ = log_.listen([this](const TakeLogEntry& entry) {
            const std::lock_guard lock(mutex_);
            for (const auto& worker : workers_) {
                worker->heard(entry);
            }
        });
    }
}

void Uploads::stop_all() {
    listening_.reset();
    std::vector<std::unique_ptr<TargetWorker>> gone;
    {
        const std::lock_guard lock(mutex_);
        gone.swap(workers_);
        problems_.clear();
        refused_.clear();
    }
}

std::optional<UploadsNote> Uploads::note() const {
    UploadsFacts facts;
    facts.now = parts_.workers.clock->steady();
    facts.rows_failure = rows_.failure();
    const std::lock_guard lock(mutex_);
    facts.file_refused = refused_;
    facts.problems = problems_;
    for (const auto& worker : workers_) {
        facts.targets.push_back(worker->view());
    }
    return uploads_note(facts);
}

bool Uploads::waiting(const std::string& file_name) const {
    const std::lock_guard lock(mutex_);
    return std::any_of(workers_.begin(), workers_.end(),
                       [&](const auto& worker) { return worker->waiting(file_name); });
}

}  // namespace taperly
