#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/link_error.h"
#include "link/scanner_port.h"
#include "recorder/recorder_control.h"
#include "tracking/clock.h"
#include "tracking/display_window.h"
#include "tracking/take_log.h"

namespace taperly::testing {

// A serial port that logs what is written and hands out queued input, one
// queued chunk per read, as bytes arrive on a real line between firings.
class FakePort : public ScannerPort {
  public:
    void open(int port_number, int bits_per_second) override {
        ++opens;
        if (fail_open) {
            throw LinkError("cannot open");
        }
        opened_port = port_number;
        opened_speed = bits_per_second;
        open_ = true;
    }
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    void write(std::string_view bytes) override {
        if (fail_writes) {
            throw LinkError("write failed");
        }
        written += bytes;
        std::string command(bytes);
        if (!command.empty() && command.back() == '\r') {
            command.pop_back();
        }
        commands.push_back(command);
        line_log.push_back(command);
    }
    void wake_at_reply_end(bool wake) override {
        if (wake != waking) {
            line_log.push_back(wake ? "(wake)" : "(hold)");
        }
        waking = wake;
    }
    int pending_input_count() override {
        return arrivals.empty() ? 0 : static_cast<int>(arrivals.front().size());
    }
    std::string read_pending_input() override {
        if (arrivals.empty()) {
            return {};
        }
        std::string chunk = arrivals.front();
        arrivals.pop_front();
        return chunk;
    }

    // Bytes that arrive before the next read.
    void arrive(const std::string& bytes) {
        if (!bytes.empty()) {
            arrivals.push_back(bytes);
        }
    }

    std::deque<std::string> arrivals;
    std::string written;
    std::vector<std::string> commands;
    // The commands, and each change of whether a reply's end wakes the program.
    std::vector<std::string> line_log;
    bool waking = true;
    int opened_port = 0;
    int opened_speed = 0;
    int opens = 0;
    bool fail_open = false;
    bool fail_writes = false;

  private:
    bool open_ = false;
};

// A recorder that logs every setting and order and keeps the mode an MCI
// wave-audio device would have.
class FakeRecorder : public RecorderControl {
  public:
    void setFileName(const std::string& name) override {
        file_name = name;
        log.push_back("FileName=" + name);
    }
    std::string FileName() const override { return file_name; }
    void Command(const std::string& order) override {
        log.push_back(order);
        if (on_order) {
            on_order(order);
        }
        if (order == "Open" && mode == kModeNotOpen) {
            mode = kModeOpen;
        } else if (order == "Record" && mode != kModeNotOpen) {
            mode = kModeRecording;
        } else if (order == "stop" && mode != kModeNotOpen) {
            mode = kModeStopped;
        } else if (order == "save" && mode != kModeNotOpen) {
            saved.push_back(file_name);
            saved_this_take = true;
        } else if (order == "close") {
            end_take(mode != kModeNotOpen);
            mode = kModeNotOpen;
        }
    }
    std::optional<EndedTake> close_take() override {
        Command("close");
        return ended;
    }
    int Mode() const override { return mode; }
    TakeStorage storage() const override {
        TakeStorage told = storage_told;
        told.saved_count = static_cast<int>(saved.size());
        return told;
    }
    void listen_between_takes(std::chrono::milliseconds reach) override {
        listening = true;
        reaches.push_back(reach);
    }
    void stop_listening() override { listening = false; }
    void heard_nothing_at(std::chrono::milliseconds sent) override { quiet_sent.push_back(sent); }
    void set_take_start(const std::string& started) override { take_starts.push_back(started); }
    std::optional<EndedTake> split_take(bool save, const std::string& started) override {
        log.push_back(std::string("split, ") + (save ? "saving " : "dropping ") + file_name +
                      ", on from " + started);
        saved_this_take = save;
        end_take(true);
        return ended;
    }

    // Only the orders, without the settings.
    std::vector<std::string> orders() const {
        std::vector<std::string> only;
        for (const std::string& entry : log) {
            if (entry.find('=') == std::string::npos) {
                only.push_back(entry);
            }
        }
        return only;
    }

    // Each take holds this much sound when it ends, as a take of the real
    // recorder would.
    void end_take(bool held) {
        ended.reset();
        if (held && take_frames > 0) {
            ended =
                EndedTake{take_frames,
                          take_peak,
                          saved_this_take ? EndedTake::Saved::kStored : EndedTake::Saved::kNotAsked,
                          {}};
        }
        saved_this_take = false;
    }

    std::vector<std::string> log;
    std::int64_t take_frames = 22050;
    int take_peak = 16384;
    bool saved_this_take = false;
    std::optional<EndedTake> ended;
    // What storage() tells, beside the count of takes saved.
    TakeStorage storage_told;
    // Called with each order as it is given: the world moving on meanwhile.
    std::function<void(const std::string&)> on_order;
    std::vector<std::string> saved;
    // Every start the recorder was told of, apart from the log of orders.
    std::vector<std::string> take_starts;
    std::string file_name;
    int mode = kModeNotOpen;
    bool listening = false;
    std::vector<std::chrono::milliseconds> reaches;
    // When each status reply that said nothing was heard left the scanner.
    std::vector<std::chrono::milliseconds> quiet_sent;
};

class FakeClock : public Clock {
  public:
    LocalTime local_time() override { return {time, date, wall}; }
    SteadyTime steady_time() override { return steady; }

    std::string time = "9:05:07 PM";
    CalendarDate date{2026, 12, 5};
    WallTime wall{21, 5, 7, -5 * 3600};
    SteadyTime steady{0};
};

// A takes log that keeps its entries.
class FakeTakeLog : public TakeLog {
  public:
    void add(const TakeLogEntry& entry) override { entries.push_back(entry); }
    std::vector<TakeLogEntry> entries;
};

class FakeWindow : public DisplayWindow {
  public:
    void set_mirror_text(const std::string& text) override { mirror = text; }
    bool is_minimised() const override { return minimised; }
    void set_title(const std::string& text) override {
        title = text;
        titles.push_back(text);
    }

    std::string mirror;
    std::string title = "Taperly";
    std::vector<std::string> titles;
    bool minimised = false;
};

}  // namespace taperly::testing
