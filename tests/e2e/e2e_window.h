#pragma once

// Taperly's window on its real parts for end-to-end tests: the serial adapter
// on the simulator's pseudo-terminal, the recorder on the sound server the
// environment names, and a clock the test sets.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/real_parts.h"
#include "app/system_clock.h"
#include "recorder/sound_recorder.h"
#include "recorder/sound_test_support.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_test_support.h"
#include "tracking/reply_timing.h"

namespace taperly::e2e {

inline constexpr int kPollPeriodMs = 100;
inline constexpr int kStatusReplyBytes = 115;
inline constexpr int kToneHz = 1000;
inline constexpr const char* kSettingsFile = "com_settings.txt";
// The takes log, in the takes folder once a take has ended.
inline constexpr const char* kTakesLog = "takes.csv";
// Long enough for a take of a few seconds and the sound server's start.
inline constexpr int kTakeLimitMs = 15000;

inline int speed_list_index(int bits_per_second) {
    switch (bits_per_second) {
        case 19200:
            return 1;
        case 38400:
            return 2;
        case 57600:
            return 3;
        default:
            return 0;
    }
}

// Ten bits a byte: start, eight data bits, stop.
inline double status_reply_seconds(int bits_per_second) {
    return kStatusReplyBytes * 10.0 / bits_per_second;
}

// How far a take's length may stray from the scenario's reception: its start
// and its end are each seen at the next status reply, which comes every second
// poll firing and takes its transfer time to arrive.
inline double duration_bound_seconds(int bits_per_second) {
    return 2 * kPollPeriodMs / 1000.0 + status_reply_seconds(bits_per_second);
}

// How much earlier than its transmission a take may begin: from the moment
// the scanner last said it heard nothing, at most the reach and the margin.
inline double pre_roll_seconds(int bits_per_second) {
    return std::chrono::duration<double>(pre_roll_reach(kPollPeriodMs, bits_per_second) +
                                         kPreRollMargin)
        .count();
}

// Whether a take of `seconds` fits a reception of `received` seconds: it may
// begin up to the pre-roll early and end up to the line's bound late, and
// each boundary may lie the line's bound inside the reception.
inline bool take_length_fits(double seconds, double received, int bits_per_second) {
    const double bound = duration_bound_seconds(bits_per_second);
    return seconds >= received - bound &&
           seconds <= received + bound + pre_roll_seconds(bits_per_second);
}

// A time on the day the tests pretend it is, 5 December 2026.
inline QDateTime on_test_day(int hour, int minute, int second) {
    return QDateTime(QDate(2026, 12, 5), QTime(hour, minute, second), Qt::UTC);
}

// The time the window's clock reads; the test moves it.
class PinnedTime {
  public:
    void set(const QDateTime& time) { *now_ = time; }
    SystemClock::TimeSource source() const {
        return [now = now_] { return *now; };
    }

  private:
    std::shared_ptr<QDateTime> now_ = std::make_shared<QDateTime>(on_test_day(20, 0, 0));
};

using RecorderWrapper =
    std::function<std::unique_ptr<RecorderControl>(std::unique_ptr<RecorderControl>)>;

// Whether the private sound server answers.
inline bool sound_server_answers() {
    return std::system("pactl info >/dev/null 2>&1") == 0;
}

class E2eWindow {
  public:
    // The window with COM1 at `bits_per_second` chosen, saving into `folder`.
    // `wrap` may put a recorder of the test's around the real one; the Takes
    // window keeps its index in `index_folder` when one is given.
    E2eWindow(const std::string& folder, int bits_per_second, const RecorderWrapper& wrap = {},
              const std::string& index_folder = {})
        : folder_(folder) {
        std::ofstream(folder + "/" + kSettingsFile, std::ios::binary)
            << "0\r\n"
            << speed_list_index(bits_per_second) << "\r\n"
            << kPollPeriodMs << "\r\n";
        Form1Parts parts =
            make_real_parts(folder, QString::fromStdString(folder + "/taperly-help.html"));
        // The clock is the one part that is not real: take names hold the
        // wall-clock seconds at which a take started and ended, so only a clock
        // the test sets in step with the scenario gives names known to the
        // byte. Its locale is pinned too, so they read "9:05:07 PM" anywhere.
        parts.clock = std::make_unique<SystemClock>(
            QLocale(QLocale::English, QLocale::UnitedStates), time.source());
        // Keeping takes reads its clock on a thread of its own: one that
        // stands still at the start of the test day.
        const auto keeping = std::make_shared<SystemClock>(
            QLocale(QLocale::English, QLocale::UnitedStates), [] { return on_test_day(20, 0, 0); });
        parts.keeping_clock = {[keeping] { return keeping->local_time(); },
                               [keeping] { return keeping->steady_time(); }};
        if (wrap) {
            parts.recorder = wrap(std::move(parts.recorder));
        }
        if (!index_folder.empty()) {
            parts.index_folder = index_folder;
        }
        form_ = std::make_unique<Form1>(std::move(parts));
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }
    ~E2eWindow() {
        if (form_) {
            form_->close();
        }
    }

    Form1& form() { return *form_; }
    void click_run_stop() {
        QTest::mouseClick(form_->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    }
    std::string status() const {
        return form_->findChild<QLineEdit*>("Text3")->text().toStdString();
    }
    // The whole of what the status line says.
    std::string status_detail() const {
        return form_->findChild<QLineEdit*>("Text3")->toolTip().toStdString();
    }
    std::string caption() const {
        return form_->findChild<QPushButton*>("Command2")->text().toStdString();
    }
    std::string mirror() const {
        return form_->findChild<QPlainTextEdit*>("Text1")->toPlainText().toStdString();
    }
    bool take_in_progress() { return form_->run_control().tracker().state().take_in_progress(); }

    // Turns the event loop until `condition` holds; false when `limit_ms` passed.
    static bool wait_for(const std::function<bool()>& condition, int limit_ms = kTakeLimitMs) {
        return QTest::qWaitFor(condition, limit_ms);
    }

    // Shows `start` on the clock until the next take begins and `end` until it
    // is over; `during` is called at every turn of the event loop meanwhile.
    bool follow_take(
        const QDateTime& start, const QDateTime& end, const std::function<void()>& during = [] {},
        int limit_ms = kTakeLimitMs) {
        time.set(start);
        if (!wait_for([&] { return take_in_progress(); })) {
            return false;
        }
        time.set(end);
        return wait_for(
            [&] {
                during();
                return !take_in_progress();
            },
            limit_ms);
    }

    PinnedTime time;

  private:
    std::string folder_;
    std::unique_ptr<Form1> form_;
};

// What a take file holds, measured.
struct TakeSound {
    bool readable = false;
    double seconds = 0;
    double frequency = 0;
};

inline TakeSound measure_take(const std::string& path) {
    const testing::WaveContents wave = testing::read_wave(path);
    TakeSound sound;
    sound.readable =
        wave.readable && wave.sample_rate == WaveFileWriter::kSampleRate && wave.channels == 1;
    sound.seconds = static_cast<double>(wave.samples.size()) / WaveFileWriter::kSampleRate;
    sound.frequency = testing::tone_frequency(wave.samples, WaveFileWriter::kSampleRate);
    return sound;
}

// The hidden files takes are recorded into before they are saved.
inline std::vector<std::string> temporary_takes(const std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (const std::string& name : names) {
        if (name.rfind(".taperly-take-", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

// Bytes in the hidden file of the take under way; 0 when there is none. The
// warm-up at start makes and removes one, so a name listed may be gone when
// it is measured: that counts as nothing recorded, not as an error's size.
inline std::uintmax_t hidden_take_bytes(const std::string& folder,
                                        const std::vector<std::string>& names) {
    const std::vector<std::string> hidden = temporary_takes(names);
    if (hidden.empty()) {
        return 0;
    }
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(folder + "/" + hidden[0], error);
    return error ? 0 : bytes;
}

}  // namespace taperly::e2e
