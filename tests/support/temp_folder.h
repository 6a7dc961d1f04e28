#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/shared_read.h"

namespace taperly::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
// Its paths and names are UTF-8, as Taperly's are, on every system.
class TempFolder {
  public:
    TempFolder() {
        static constexpr char kLetters[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device entropy;
        std::uniform_int_distribution<std::size_t> any(0, sizeof kLetters - 2);
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            std::string name = "taperly-";
            for (int i = 0; i < 6; ++i) {
                name.push_back(kLetters[any(entropy)]);
            }
            if (std::filesystem::create_directory(base / name)) {
                path_ = utf8(base / name);
                break;
            }
        }
        std::filesystem::permissions(native(path_), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(native(path_), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(native(path_), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(native(file(name)), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const { return read_shared(file(name)); }
    // Names of the files in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(native(path_))) {
            found.push_back(utf8(entry.path().filename()));
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    static std::filesystem::path native(const std::string& utf8_path) {
        return std::filesystem::path(std::u8string(utf8_path.begin(), utf8_path.end()));
    }
    static std::string utf8(const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

  private:
    std::string path_;
};

}  // namespace taperly::testing
