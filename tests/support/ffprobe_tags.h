#pragma once

// A file's tags as ffprobe, which archives and players build on, reads them.

#include <cstdio>
#include <map>
#include <string>

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

}  // namespace taperly::testing
