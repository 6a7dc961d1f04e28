#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "uploads/call_parts.h"
#include "uploads/http_exchange.h"
#include "uploads/service_calls.h"
#include "uploads/try_outcome.h"
#include "uploads/upload_journal.h"
#include "uploads/upload_settings.h"

namespace taperly {

// One try of one take at one target.
class CallSender {
  public:
    virtual ~CallSender() = default;
    // `stepped` is told the address Broadcastify gave for the sound before
    // the sound goes there, so that a later try sends only the sound.
    virtual TryOutcome send(const JournalEntry& entry,
                            const std::function<void(const std::string&)>& stepped) = 0;
};

// Sends takes from `takes_folder` to the target: its request built from the
// take's row, its sound as stored or made MP3 in `work_folder` (removed
// afterwards), or its command run with the take's path and a JSON file of
// its facts. The take's file is only ever read.
class ServiceSender : public CallSender {
  public:
    ServiceSender(TargetSettings target, std::string takes_folder, std::string work_folder,
                  HttpClient& http, SoundEncoder& encoder, CommandRunner& runner,
                  const std::atomic<bool>& cancelled);
    TryOutcome send(const JournalEntry& entry,
                    const std::function<void(const std::string&)>& stepped) override;

  private:
    TryOutcome send_to_service(const JournalEntry& entry,
                               const std::function<void(const std::string&)>& stepped);
    TryOutcome run_command(const JournalEntry& entry);
    // The take's sound as stored, or made MP3 into `mp3` when that is set;
    // why not, when it cannot be had.
    std::optional<TryOutcome> sound_for(const JournalEntry& entry, const std::string& mp3,
                                        CallSound& sound);
    // The work file for `suffix`, none there yet.
    std::string work_file(const std::string& suffix) const;

    TargetSettings target_;
    std::string takes_folder_;
    std::string work_folder_;
    HttpClient& http_;
    SoundEncoder& encoder_;
    CommandRunner& runner_;
    const std::atomic<bool>& cancelled_;
};

// The take's facts as the command target's JSON file holds them.
std::string call_json(const JournalEntry& entry, const std::string& take_path);

}  // namespace taperly
