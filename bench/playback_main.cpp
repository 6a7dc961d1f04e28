// What hearing takes costs: a minute (or the seconds given) of takes played
// back to back through the player the Takes window drives, at the speed
// given, on the sound server PULSE_SERVER names. The takes are made first
// with the program's own take writer: ten seconds each, a voice-like sound
// (a 160 Hz buzz with its harmonics, four syllables a second) between a
// quarter second of quiet before and after.
//
// Usage: taperly-bench-playback SECONDS SPEED wav|flac FOLDER
// Prints one row of a Markdown table: speed, format, seconds, sound heard,
// CPU seconds and share of one core, wake-ups a second, resident memory.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_usage.h"
#include "playback/make_take_player.h"
#include "recorder/takes/flac_saver.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/wave_file_writer.h"

using namespace taperly;

namespace {

constexpr double kTakeSeconds = 10;
// As much quiet as the player keeps, so that all of it is heard.
constexpr double kQuiet = 0.25;

std::vector<std::int16_t> voice_like(std::size_t frames, unsigned seed) {
    std::vector<std::int16_t> sound(frames);
    const auto quiet = static_cast<std::size_t>(kQuiet * kTakeSampleRate);
    for (std::size_t i = quiet; i + quiet < frames; ++i) {
        const double t = static_cast<double>(i) / kTakeSampleRate;
        double buzz = 0;
        for (int harmonic = 1; harmonic <= 12; ++harmonic) {
            buzz += std::sin(2 * std::numbers::pi * 160 * harmonic * t) / harmonic;
        }
        const double syllables = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 4 * t);
        seed = seed * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(seed >> 16) / 65536.0 - 0.5) * 0.02;
        sound[i] = static_cast<std::int16_t>(std::lround(6000 * (buzz * syllables + hiss)));
    }
    return sound;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SECONDS SPEED wav|flac FOLDER\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const double speed = std::atof(argv[2]);
    const std::string format = argv[3];
    const std::string folder = argv[4];
    // Enough for the run, the second before it and what the player reads
    // ahead of what is heard (a few seconds), so that the list outlasts it.
    const int takes = static_cast<int>(std::ceil((seconds + 5) * speed / kTakeSeconds)) + 1;
    std::vector<PlayItem> items;
    {
        auto flac = format == "flac" ? std::make_unique<FlacSaver>() : nullptr;
        WaveFileWriter writer(folder, std::move(flac));
        for (int i = 0; i < takes; ++i) {
            const std::string name = "take-" + std::to_string(i) + "." + format;
            writer.begin("");
            writer.append(voice_like(static_cast<std::size_t>(kTakeSeconds * kTakeSampleRate),
                                     static_cast<unsigned>(i + 1)));
            if (writer.save_as(name) == TakeWriter::Saved::kFailed) {
                std::fprintf(stderr, "take %s not saved\n", name.c_str());
                return 1;
            }
            items.push_back({folder + "/" + name, i + 1});
        }
    }  // FLAC takes are stored by the time the writer is gone.

    const auto player = make_take_player();
    player->set_speed(speed);
    // The measure begins once a second has been heard: a null sink takes up
    // to two seconds to ask for more after its first stream connects.
    player->play(items);
    PlayerState begun = player->state();
    for (; begun.position_seconds < 1 && begun.index <= 0; begun = player->state()) {
        if (!begun.problem.empty()) {
            std::fprintf(stderr, "the player said: %s\n", begun.problem.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double begun_at = begun.index * kTakeSeconds + begun.position_seconds;
    const double cpu_before = bench::cpu_seconds();
    const bench::Switches switches_before = bench::wake_ups();
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::duration<double>(seconds);
    PlayerState state = player->state();
    // What is shown heard can be no more than the clock lets be heard (and
    // the quarter second a null sink's start may be off by): a row ahead of
    // the sound shows a list's end while its last takes are still due.
    double most_ahead = 0;
    while (std::chrono::steady_clock::now() < deadline && state.problem.empty() &&
           state.mode == PlayerState::Mode::kPlaying) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        state = player->state();
        const double clock =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double shown = state.index * kTakeSeconds + state.position_seconds - begun_at;
        most_ahead = std::max(most_ahead, shown / speed - clock);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = bench::cpu_seconds() - cpu_before;
    const bench::Switches switches = bench::wake_ups();
    const bench::Resident resident = bench::resident_memory();
    if (!state.problem.empty()) {
        std::fprintf(stderr, "the player said: %s\n", state.problem.c_str());
        return 1;
    }
    // The list holds more than the run hears: shown ended before, it was
    // read out faster than it can be heard, and what was heard is unknown.
    if (state.mode != PlayerState::Mode::kPlaying) {
        std::fprintf(stderr, "the list was shown ended after %.1f s of %g\n", wall, seconds);
        return 1;
    }
    if (most_ahead > 0.25) {
        std::fprintf(stderr, "the takes were shown heard %.2f s ahead of the clock\n", most_ahead);
        return 1;
    }
    // The takes heard so far, in seconds of their sound (their quiet is
    // no longer than the player keeps).
    const double heard = state.index * kTakeSeconds + state.position_seconds - begun_at;
    std::printf("| %gx | %s | %.1f s | %.1f s of takes | %.3f s | %.3f %% | %.1f | %ld kB |\n",
                speed, format.c_str(), wall, heard, cpu, 100 * cpu / wall,
                static_cast<double>(switches.woke - switches_before.woke) / wall,
                resident.total_kib);
    return 0;
}
