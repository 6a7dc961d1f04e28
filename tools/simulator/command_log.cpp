#include "tools/simulator/command_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "tools/simulator/byte_escapes.h"

namespace taperly::sim {

CommandLog::CommandLog(const std::string& path) {
    if (path.empty()) {
        return;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + path);
    }
    owned_ = true;
}

CommandLog::~CommandLog() {
    if (owned_) {
        ::close(fd_);
    }
}

double CommandLog::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void CommandLog::command(std::string_view bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f ", seconds());
    // One write per line, so a reader never sees half of one.
    const std::string line = stamp + escape_bytes(bytes) + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = ::write(fd_, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace taperly::sim
