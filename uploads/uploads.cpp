#include "uploads/uploads.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

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
    // A file refused for who may read it is looked at again: a chmod
    // changes no text.
    bool refused = false;
    {
        const std::lock_guard lock(mutex_);
        refused = !refused_.empty();
    }
    if (text == read_text_ && !refused) {
        return text.has_value();
    }
    read_text_ = text;
    if (!text) {
        stop_all();
        return false;
    }
    UploadSettings settings = read_upload_settings(*text);
    const std::string exposed = settings.holds_key ? parts_.exposure(settings_path_) : "";
    if (!exposed.empty()) {
        settings.targets.clear();
    }
    {
        const std::lock_guard lock(mutex_);
        problems_ = settings.problems;
        refused_ = exposed;
    }
    start(settings);
    return true;
}

void Uploads::start(const UploadSettings& settings) {
    if (!settings.targets.empty()) {
        std::error_code ignored;
        std::filesystem::create_directory(utf8_path(work_folder_), ignored);
    }
    {
        // Under the lock, which holds the door's rows back meanwhile: a
        // target whose section changed hands the rows its old worker had not
        // taken in to its new one, before any later row.
        const std::lock_guard lock(mutex_);
        std::vector<std::unique_ptr<TargetWorker>> kept;
        for (const TargetSettings& target : settings.targets) {
            const auto same = std::find_if(
                workers_.begin(), workers_.end(),
                [&](const auto& worker) { return worker && worker->target() == target; });
            if (same != workers_.end()) {
                (*same)->resume(settings.talkgroups);
                kept.push_back(std::move(*same));
                continue;
            }
            // The old worker ends before the new one reads their journal.
            std::vector<TakeLogEntry> untaken;
            const auto before = std::find_if(
                workers_.begin(), workers_.end(),
                [&](const auto& old) { return old && old->target().id() == target.id(); });
            if (before != workers_.end()) {
                untaken = (*before)->stop();
                before->reset();
            }
            kept.push_back(std::make_unique<TargetWorker>(
                target, settings.talkgroups, takes_folder_, work_folder_, parts_.workers, rows_,
                std::move(untaken)));
        }
        workers_.swap(kept);
        // What is left of the old ones ends here, still under the lock.
    }
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
    facts.targets = targets();
    const std::lock_guard lock(mutex_);
    facts.file_refused = refused_;
    facts.problems = problems_;
    return uploads_note(facts);
}

std::vector<TargetView> Uploads::targets() const {
    std::vector<TargetView> views;
    const std::lock_guard lock(mutex_);
    for (const auto& worker : workers_) {
        views.push_back(worker->view());
    }
    return views;
}

std::vector<std::string> Uploads::takes_waiting() const {
    std::set<std::string> journals;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(utf8_path(work_folder_), error)) {
        std::string name = file.path().filename().string();
        if (name.ends_with(".new")) {
            name.resize(name.size() - 4);
        }
        if (name.ends_with(".queue")) {
            journals.insert(join_path(work_folder_, name));
        }
    }
    std::vector<std::string> names;
    for (const std::string& journal : journals) {
        for (const JournalEntry& entry : UploadJournal::read(journal).waiting) {
            names.push_back(entry.take.file_name);
        }
    }
    return names;
}

}  // namespace taperly
