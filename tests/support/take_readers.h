#pragma once

// A take as the tools people use read it: its tags as ffprobe (which
// archives and players build on) gives them, its samples as ffmpeg and SoX
// decode them.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace taperly::testing {

// "title", "comment", "date", ... to their values; empty when ffprobe cannot
// read the file. The path must not hold a single quote.
inline std::map<std::string, std::string> ffprobe_tags(const std::string& path) {
    const std::string command =
        "ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 '" + path + "'";
    std::map<std::string, std::string> tags;
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr) {
        return tags;
    }
    std::string line;
    for (int c = std::fgetc(output); c != EOF; c = std::fgetc(output)) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        const std::string prefix = "TAG:";
        const std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) == 0 && equals != std::string::npos) {
            tags[line.substr(prefix.size(), equals - prefix.size())] = line.substr(equals + 1);
        }
        line.clear();
    }
    pclose(output);
    return tags;
}

// Commands that write a file's sound ("%s" the file) as raw 16-bit
// little-endian mono.
inline constexpr const char* kSampleReaders[] = {
    "ffmpeg -v error -i '%s' -f s16le -ac 1 -",
    "sox '%s' -t s16 - 2>/dev/null",
};

// The samples `reader` (one of kSampleReaders) decodes from `path`.
inline std::vector<std::int16_t> decoded_by(const char* reader, const std::string& path) {
    char command[512];
    std::snprintf(command, sizeof command, reader, path.c_str());
    std::vector<std::int16_t> samples;
    FILE* output = popen(command, "r");
    if (output == nullptr) {
        return samples;
    }
    std::int16_t sample = 0;
    while (std::fread(&sample, sizeof sample, 1, output) == 1) {
        samples.push_back(sample);
    }
    pclose(output);
    return samples;
}

}  // namespace taperly::testing
