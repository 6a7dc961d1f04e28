#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "system_calls.h"

namespace taperly::testing {

int thread_count() {
    int count = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (const dirent* entry = ::readdir(tasks)) {
        count += entry->d_name[0] != '.';
    }
    ::closedir(tasks);
    return count;
}

bool process_gone(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Only its exit status left counts as gone.
    const auto state = stat.find(") ");
    return stat.empty() || (state != std::string::npos && stat[state + 2] == 'Z');
}

void let_others_read(const std::string& path, bool read) {
    ::chmod(path.c_str(), read ? 0644 : 0600);
}

}  // namespace taperly::testing
