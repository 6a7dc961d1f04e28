#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recorder/capture/audio_input.h"
#include "recorder/capture/pre_roll.h"
#include "recorder/recorder_control.h"
#include "recorder/take_edges.h"
#include "recorder/take_outcomes.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_writer.h"
#include "recorder/takes/takes_room.h"

namespace taperly {

// The recorder the rest of the program drives: "Open" starts a new take,
// "Record" captures into it (carrying on when already capturing), "stop"
// ends capture, "save" stores the take under FileName, "close" drops
// whatever was not saved. An order that does not apply does nothing, and no
// order ever raises. With the pre-roll on, capture runs all through a run and
// a take's first "Record" begins it with the sound kept since the scanner
// last heard nothing; from then on the take is the same.
class WaveRecorder : public RecorderControl {
  public:
    // `room` watches the takes folder's free space: no take is begun while it
    // is full. Its looks are timed by the pre-roll's clock.
    WaveRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<TakeWriter> writer,
                 PreRollSettings pre_roll = {}, RoomWatch room = {});
    ~WaveRecorder() override;
    WaveRecorder(const WaveRecorder&) = delete;
    WaveRecorder& operator=(const WaveRecorder&) = delete;

    void setFileName(const std::string& file_name) override;
    std::string FileName() const override;
    void Command(const std::string& order) override;
    int Mode() const override;
    RecorderTrouble trouble() const override;
    TakeStorage storage() const override;
    std::optional<EndedTake> close_take() override;
    void listen_between_takes(std::chrono::milliseconds reach) override;
    void stop_listening() override;
    void heard_nothing_at(std::chrono::milliseconds sent) override;
    void set_take_start(const std::string& started) override;
    void set_take_tags(const TakeTags& tags) override;
    std::optional<EndedTake> split_take(bool save, const std::string& started) override;
    std::string take_extension() const override { return writer_->extension(); }
    void when_saved_later(LateSaveTold told) override { late_told_ = std::move(told); }
    void on_late_save(std::function<void()> wake) override {
        outcomes_.on_late_save(std::move(wake));
    }
    bool settle_late_saves() override { return outcomes_.settle(); }
    void finish_storing_now() override { writer_->finish_storing_now(); }

  private:
    void set_trouble(RecorderTrouble trouble);
    void open();
    void record();
    void stop();
    void save();
    std::optional<EndedTake> close();
    bool start_capture();
    void look_for_input_again();
    void take_frames(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at);
    void write_frames(std::span<const std::int16_t> frames);
    // Writes the held sound captured up to `ends_at` (all of it when none);
    // the rest is kept for the next take.
    void write_held(std::optional<std::chrono::milliseconds> ends_at);
    bool listening() const { return pre_roll_.on(); }
    std::chrono::milliseconds now() const;
    bool room_for_a_take();
    // The take in the writer has ended: what the takes log tells of it.
    EndedTake take_ended() {
        EndedTake ended{writer_->frames(), writer_->peak(), saved_, std::move(save_note_)};
        saved_ = EndedTake::Saved::kNotAsked;
        save_note_.clear();
        return ended;
    }

    // The writer outlives the input, so capture never delivers into a
    // writer that is gone.
    std::unique_ptr<TakeWriter> writer_;
    std::unique_ptr<AudioInput> input_;
    std::string file_name_;
    std::string take_start_;
    bool open_ = false;
    bool recording_ = false;
    bool stopped_ = false;
    // The take's first "Record" is still to come: only it begins with the
    // sound kept before it.
    bool first_record_due_ = false;
    // When the take's first "Record" came, and where a take that is
    // stopping ends: sound captured later is kept for the next take.
    std::chrono::milliseconds began_at_{0};
    TakeEdges edges_{kTakeSampleRate};
    RecorderTrouble trouble_;
    RoomWatch room_;
    TakeOutcomes outcomes_;
    // Writing the take failed, so it is cut short.
    bool take_cut_ = false;
    // The take could not be saved: "close" leaves it for the next start.
    bool keep_hidden_ = false;
    // What the take's "save" came to, and why not (or what went wrong all
    // the same), until it ends.
    EndedTake::Saved saved_ = EndedTake::Saved::kNotAsked;
    std::string save_note_;
    // What the next save that ends later tells beside the storage.
    LateSaveTold late_told_;
    PreRollSettings settings_;
    PreRoll pre_roll_;
    std::chrono::milliseconds last_looked_{0};
};

// Whether a name may be saved in the takes folder: a plain file name that
// cannot reach outside it.
bool is_bare_file_name(const std::string& name);

}  // namespace taperly
