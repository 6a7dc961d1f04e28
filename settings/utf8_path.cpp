#include "settings/utf8_path.h"

namespace taperly {

std::filesystem::path utf8_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace taperly
