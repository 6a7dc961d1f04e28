#include <fstream>

#include "settings/utf8_path.h"
#include "uploads/command_runner.h"
#include "uploads/service_calls.h"

namespace taperly {

std::string last_line_of(const std::string& path) {
    constexpr std::streamoff kTail = 4096;
    std::ifstream file(utf8_path(path), std::ios::binary);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (!file || size <= 0) {
        return {};
    }
    file.seekg(std::max<std::streamoff>(0, size - kTail));
    std::string tail(static_cast<std::size_t>(std::min(size, kTail)), '\0');
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == ' ')) {
        tail.pop_back();
    }
    const auto start = tail.find_last_of('\n');
    return answer_line(start == std::string::npos ? tail : tail.substr(start + 1));
}

}  // namespace taperly
