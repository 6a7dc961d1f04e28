// What keeping takes safe on the disk costs: the save of a take, which waits
// for its data and its name to reach the disk, on the file system of the
// folder given; the look at the folder's free space; and, on a full disk,
// how soon after a file is removed the recorder begins takes again.
//
// Usage: taperly-bench-disk save FOLDER TAKES SECONDS [untagged]
//        taperly-bench-disk look FOLDER CALLS
//        taperly-bench-disk resume FOLDER FILLER
//   save    TAKES takes of SECONDS each written as the recorder writes them
//           (a quarter second at a time) and saved; the time of each save,
//           which writes the take's tags first unless "untagged"
//   look    the free-space look CALLS times; its cost once a minute
//   resume  FOLDER is full but for FILLER, a file of the bench's: the
//           recorder hears "nothing received" five times a second, as
//           between takes; FILLER is removed and the time until it would
//           begin a take again is measured
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture/audio_input.h"
#include "recorder/takes/native_file.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;
using taperly::TakeWriter;

double milliseconds_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

taperly::TakeTags ending_tags() {
    taperly::TakeTags tags;
    tags.title = "Ops";
    tags.comment =
        "System: State Net; Group: North Area; Talkgroup: Ops; Display line 1: State "
        "Net; Display line 2: North Ops";
    tags.created = "2026-12-05T21:05:07-05:00";
    tags.software = "Taperly 1.0";
    tags.origination_date = "2026-12-05";
    tags.origination_time = "21:05:07";
    tags.time_reference = 75907ULL * taperly::kTakeSampleRate;
    return tags;
}

int save(const std::string& folder, int takes, double seconds, bool tagged) {
    const std::vector<std::int16_t> quarter(taperly::kTakeSampleRate / 4, 1000);
    std::vector<double> times;
    for (int take = 0; take < takes; ++take) {
        taperly::WaveFileWriter writer(folder);
        if (!writer.begin("bench")) {
            std::fprintf(stderr, "cannot begin a take: %s\n", writer.failure().told.c_str());
            return 1;
        }
        for (double written = 0; written < seconds; written += 0.25) {
            writer.append(quarter);
        }
        const auto start = Clock::now();
        // As a take ends: its tags, learnt only now, go into the room its
        // header keeps for them, then it is saved.
        if (tagged) {
            writer.describe(ending_tags());
        }
        const TakeWriter::Saved saved = writer.save_as("take-" + std::to_string(take) + ".wav");
        times.push_back(milliseconds_since(start));
        if (saved != TakeWriter::Saved::kStored) {
            std::fprintf(stderr, "the save failed: %s\n", writer.failure().told.c_str());
            return 1;
        }
        writer.discard();
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "- %d takes of %.0f s: a save (%sflushed, named, the folder flushed) took %.2f ms in "
        "the median, %.2f ms at worst, %.2f ms at least\n",
        takes, seconds, tagged ? "its tags written, " : "", times[times.size() / 2], times.back(),
        times.front());
    return 0;
}

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int look(const std::string& folder, int calls) {
    const double cpu_before = cpu_seconds();
    const auto start = Clock::now();
    long long known = 0;
    for (int call = 0; call < calls; ++call) {
        known += taperly::folder_free_bytes(folder).has_value() ? 1 : 0;
    }
    const double per_call_us = milliseconds_since(start) * 1000.0 / calls;
    const double cpu_per_call_us = (cpu_seconds() - cpu_before) * 1e6 / calls;
    std::printf(
        "- the free-space look: %.2f us a call (%.2f us of CPU; %lld of %d answered); "
        "once a minute that is %.7f %% of one core\n",
        per_call_us, cpu_per_call_us, known, calls, cpu_per_call_us / 60e6 * 100.0);
    return 0;
}

// Capture that delivers nothing: only the recorder's looks are measured.
class SilentInput : public taperly::AudioInput {
  public:
    bool available() override { return true; }
    bool start(taperly::FrameSink) override { return true; }
    void deliver_pending() override {}
    void stop() override {}
    bool running() const override { return false; }
};

// Writes `path` until the disk has no room left.
void fill(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return;
    }
    const std::vector<char> block(64 * 1024, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
           std::fflush(file) == 0) {
    }
    std::fclose(file);
}

std::chrono::milliseconds steady_now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
}

int resume(const std::string& folder, const std::string& filler) {
    taperly::PreRollSettings settings;
    settings.now = steady_now;
    taperly::WaveRecorder recorder(std::make_unique<SilentInput>(),
                                   std::make_unique<taperly::WaveFileWriter>(folder), settings,
                                   taperly::RoomWatch(folder, &taperly::folder_free_bytes));
    recorder.listen_between_takes(std::chrono::milliseconds(0));
    if (!recorder.storage().disk_full) {
        std::fprintf(stderr, "the folder is not full\n");
        return 1;
    }
    constexpr auto kStatusEvery = std::chrono::milliseconds(200);
    // Status replies go on between takes, each one a chance to look.
    const auto reply = [&] {
        std::this_thread::sleep_for(kStatusEvery);
        recorder.heard_nothing_at(steady_now());
    };
    std::vector<double> waits;
    for (int round = 0; round < 10; ++round) {
        // The removal falls anywhere in the looks' second.
        for (int replies = 0; replies < 5 + round % 5; ++replies) {
            reply();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(37 * round));
        std::filesystem::remove(filler);
        const auto removed = Clock::now();
        while (recorder.storage().disk_full) {
            reply();
        }
        waits.push_back(milliseconds_since(removed));
        fill(filler);
        // As a run's start would, for the next round.
        recorder.listen_between_takes(std::chrono::milliseconds(0));
    }
    std::sort(waits.begin(), waits.end());
    std::printf(
        "- a file removed from a full disk: room seen %.0f ms later in the median, "
        "%.0f ms at worst (10 removals, status replies every 200 ms); a take's first "
        "\"Open\" looks at once\n",
        waits[waits.size() / 2], waits.back());
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "save" && (argc == 5 || (argc == 6 && std::string(argv[5]) == "untagged"))) {
        return save(argv[2], std::atoi(argv[3]), std::atof(argv[4]), argc == 5);
    }
    if (mode == "look" && argc == 4) {
        return look(argv[2], std::atoi(argv[3]));
    }
    if (mode == "resume" && argc == 4) {
        return resume(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: %s save FOLDER TAKES SECONDS | look FOLDER CALLS | resume FOLDER FILLER\n",
                 argv[0]);
    return 2;
}
