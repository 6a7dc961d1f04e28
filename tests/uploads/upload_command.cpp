// The command target's command in the tests: keeps its arguments and the
// call's JSON file, fails its first run, or in "hang" mode hangs in it with
// a child of its own, and succeeds afterwards.
// Usage: upload_command FOLDER [hang] TAKE JSON
//        upload_command sleep FOLDER      the child: its id in FOLDER/child
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "in_background.h"

namespace {

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "sleep") {
        std::ofstream(std::string(argv[2]) + "/child", std::ios::binary) << getpid() << "\n";
        std::this_thread::sleep_for(std::chrono::minutes(5));
        return 0;
    }
    if (argc < 4) {
        return 2;
    }
    const std::string folder = argv[1];
    const bool hang = std::string(argv[2]) == "hang";
    const int n = std::atoi(read(folder + "/count").c_str()) + 1;
    std::ofstream(folder + "/count", std::ios::binary) << n << "\n";
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        arguments += std::string(argv[i]) + "\n";
    }
    std::ofstream(folder + "/args-" + std::to_string(n), std::ios::binary) << arguments;
    std::ofstream(folder + "/call-" + std::to_string(n) + ".json", std::ios::binary)
        << read(argv[argc - 1]);
    if (n > 1) {
        return 0;
    }
    if (!hang) {
        std::fputs("the archive is busy\n", stderr);
        return 3;
    }
    if (!start_in_background({argv[0], "sleep", folder})) {
        return 4;
    }
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 0;
}
