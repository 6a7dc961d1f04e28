#include "uploads/uploads_room.h"

#include <QFileSystemWatcher>
#include <random>

#include "settings/file_exists.h"
#include "uploads/command_runner.h"
#include "uploads/file_privacy.h"
#include "uploads/mp3_encoder.h"
#include "uploads/qt_http_client.h"
#include "uploads/system_upload_clock.h"

namespace taperly {

namespace {

UploadParts real_parts() {
    UploadParts parts;
    parts.workers.make_http = [] { return std::make_unique<QtHttpClient>(); };
    parts.workers.make_encoder = [] { return std::make_unique<Mp3Encoder>(); };
    parts.workers.make_runner = [] { return std::make_unique<PlatformCommandRunner>(); };
    parts.workers.clock = std::make_shared<SystemUploadClock>();
    parts.workers.chance = [] {
        thread_local std::mt19937 pick{std::random_device{}()};
        return std::uniform_real_distribution<double>(0.0, 1.0)(pick);
    };
    parts.exposure = read_by_others;
    return parts;
}

}  // namespace

UploadsRoom::UploadsRoom(const std::string& takes_folder, TakeLogListeners& log)
    : uploads_(takes_folder, log, real_parts()) {}

UploadsRoom::~UploadsRoom() = default;

void UploadsRoom::run_started() {
    read();
}

void UploadsRoom::read() {
    if (file_exists(uploads_.settings_path())) {
        QtHttpClient::load_tls();
    }
    const bool there = uploads_.read_settings();
    const QString path = QString::fromStdString(uploads_.settings_path());
    if (!there) {
        // Called from the watch's own signal: it stays, with nothing to watch.
        if (watch_ && !watch_->files().isEmpty()) {
            watch_->removePaths(watch_->files());
        }
        return;
    }
    if (!watch_) {
        watch_ = std::make_unique<QFileSystemWatcher>();
        QObject::connect(watch_.get(), &QFileSystemWatcher::fileChanged, [this] { read(); });
    }
    // An editor that saves by replacing the file ends the watch on the old one.
    if (!watch_->files().contains(path)) {
        watch_->addPath(path);
    }
}

}  // namespace taperly
