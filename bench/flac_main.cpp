// What storing a take as FLAC costs and saves: a take of the given minutes,
// made of the raw sound given (16-bit little-endian mono at the takes' rate,
// repeated as often as it takes), is written as Taperly's hidden WAV and
// then stored as FLAC as the program stores it, encoding, flushing and
// reading back included.
//
// Usage: taperly-bench-flac RAW_SOUND MINUTES FOLDER
// Prints the minutes, the WAV's and the FLAC's bytes, and the seconds taken.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "recorder/takes/flac_encoding.h"
#include "recorder/takes/take_file.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_layout.h"

using namespace taperly;

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s RAW_SOUND MINUTES FOLDER\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> sound{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    const double minutes = std::atof(argv[2]);
    const std::string folder = argv[3];
    const auto frames = static_cast<std::int64_t>(minutes * 60 * kTakeSampleRate);
    if (sound.size() < 2 || frames <= 0) {
        std::fprintf(stderr, "no sound, or no length\n");
        return 2;
    }
    TakeFile take(folder);
    if (!take.create("bench")) {
        std::perror("take");
        return 1;
    }
    const TakeHead head = take_head({}, static_cast<std::uint32_t>(frames * kTakeBytesPerFrame));
    take.write(head.data(), kTakeHeaderSize);
    for (std::int64_t left = frames * kTakeBytesPerFrame; left > 0;) {
        const std::int64_t piece =
            std::min<std::int64_t>(left, static_cast<std::int64_t>(sound.size() & ~1U));
        if (take.write(sound.data(), piece) != piece) {
            std::perror("write");
            take.discard();
            return 1;
        }
        left -= piece;
    }
    take.flush();
    TakeTags tags;
    tags.title = "Bench";
    tags.software = "taperly-bench-flac";
    const auto started = std::chrono::steady_clock::now();
    const FlacStored stored = store_as_flac({&take.file(), frames, tags, folder, "bench.flac"});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (stored.outcome != FlacStored::Outcome::kStored) {
        std::fprintf(stderr, "not stored: %s\n", stored.reason.c_str());
        take.discard();
        return 1;
    }
    const auto wav_bytes = take.size();
    const auto flac_bytes = std::filesystem::file_size(folder + "/bench.flac");
    std::printf(
        "minutes %.2f wav_bytes %lld flac_bytes %lld ratio %.3f seconds %.3f "
        "seconds_per_minute %.4f\n",
        minutes, static_cast<long long>(wav_bytes), static_cast<long long>(flac_bytes),
        static_cast<double>(flac_bytes) / static_cast<double>(wav_bytes), seconds,
        seconds / minutes);
    std::filesystem::remove(folder + "/bench.flac");
    take.discard();
    return 0;
}
