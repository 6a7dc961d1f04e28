// The menu entry `cmake --install` writes names the folder installed into,
// whatever its name holds, and is one the desktop accepts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::TempFolder;

struct EntryCase {
    const char* name;
    // The folder installed into, in a temporary folder.
    std::string folder;
    // What the entry's lines say after "=", with <tmp> for that folder.
    std::string exec;
    std::string path;
};

void PrintTo(const EntryCase& c, std::ostream* out) {
    *out << c.name;
}

// The command's exit status and what it printed, standard error too.
struct Outcome {
    int status = -1;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome outcome;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr) {
        outcome.output += chunk.data();
    }
    const int status = ::pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// The value of `key` in the entry, "" when it has none.
std::string value_of(const std::string& entry, const std::string& key) {
    std::ifstream in(entry);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

std::string with_tmp(std::string text, const std::string& tmp) {
    for (std::size_t at; (at = text.find("<tmp>")) != std::string::npos;) {
        text.replace(at, 5, tmp);
    }
    return text;
}

class DesktopEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(DesktopEntry, NamesTheInstalledProgramAndPassesValidation) {
    const EntryCase& c = GetParam();
    TempFolder tmp;
    const std::string prefix = tmp.file(c.folder);
    // Single quotes hold every folder name of the table as it is.
    const Outcome installed = run("XDG_DATA_HOME='" + tmp.file("data") +
                                  "' '" CMAKE_COMMAND "' --install '" TAPERLY_BUILD_DIR
                                  "' --component desktop_entry --prefix '" +
                                  prefix + "'");
    ASSERT_EQ(installed.status, 0) << installed.output;
    const std::string entry = tmp.file("data/applications/taperly.desktop");

    EXPECT_EQ(value_of(entry, "Exec"), with_tmp(c.exec, tmp.path()));
    EXPECT_EQ(value_of(entry, "Path"), with_tmp(c.path, tmp.path()));
    EXPECT_EQ(value_of(entry, "Icon"), with_tmp(c.path, tmp.path()) + "/taperly-icon.svg");
    const Outcome validated = run("desktop-file-validate '" + entry + "'");
    EXPECT_EQ(validated.status, 0)
        << "desktop-file-validate (from desktop-file-utils): " << validated.output;
    EXPECT_EQ(validated.output, "");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, DesktopEntry,
    ::testing::Values(EntryCase{"plain", "Taperly", "\"<tmp>/Taperly/taperly\"", "<tmp>/Taperly"},
                      EntryCase{"blank_in_name", "My Taperly/", "\"<tmp>/My Taperly/taperly\"",
                                "<tmp>/My Taperly"},
                      EntryCase{"quoting_characters", "a$b\"c`d\\e 100%",
                                "\"<tmp>/a\\\\$b\\\\\"c\\\\`d\\\\\\\\e 100%%/taperly\"",
                                "<tmp>/a$b\"c`d\\\\e 100%"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
