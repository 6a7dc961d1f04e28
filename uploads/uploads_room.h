#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "keeping/takes_keeping.h"
#include "tracking/take_log_listeners.h"
#include "uploads/uploads.h"
#include "uploads/uploads_note.h"

class QFileSystemWatcher;

namespace taperly {

// What the window's run asks of uploads; and keeping, which must not remove
// a take still waiting.
class RunUploads : public TakesToKeep {
  public:
    // Run was pressed: uploads.ini is read, if it is there and changed.
    virtual void run_started() = 0;
    virtual std::optional<UploadsNote> note() const = 0;
};

// Uploads on their real parts (Qt Network, libsndfile's MP3, the system's
// processes and clock), with uploads.ini read again whenever it is saved
// while it exists. Lives on the window's thread.
class UploadsRoom : public RunUploads {
  public:
    UploadsRoom(const std::string& takes_folder, TakeLogListeners& log);
    ~UploadsRoom() override;

    void run_started() override;
    std::optional<UploadsNote> note() const override { return uploads_.note(); }
    std::vector<std::string> takes_to_keep() const override { return uploads_.takes_waiting(); }
    std::vector<TargetView> targets() const { return uploads_.targets(); }

  private:
    void read();

    Uploads uploads_;
    // Made once the file is there; it watches nothing while the file is gone.
    std::unique_ptr<QFileSystemWatcher> watch_;
};

}  // namespace taperly
