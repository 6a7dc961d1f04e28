#include "recorder/takes/unfinished_takes.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "recorder/takes/native_file.h"
#include "recorder/takes/take_file.h"
#include "recorder/takes/take_header.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// Far more than one start ever leaves; a folder holding them all is not
// searched for a free name for ever.
constexpr int kMostNumbers = 1000;

std::string join(const std::string& folder, const std::string& name) {
    constexpr auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!folder.empty() && (folder.back() == separator || folder.back() == '/')) {
        return folder + name;
    }
    return folder + separator + name;
}

std::string utf8_name(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

// The hidden takes in the folder with when each began.
struct Leftover {
    std::string path;
    std::string started;
};

std::vector<Leftover> leftovers_in(const std::string& folder) {
    std::vector<Leftover> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(utf8_path(folder), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = utf8_name(entry->path());
        if (const std::optional<std::string> started = hidden_take_start(name)) {
            found.push_back({join(folder, name), *started});
        } else if (name.starts_with(kUnnamedTakePrefix) || name.starts_with(kPartialFlacPrefix)) {
            // Cut off before it was named, nothing was written into it yet;
            // or a FLAC encoding cut off, whose take is still a hidden WAV.
            NativeFile::Claim claim = NativeFile::Claim::kFailed;
            NativeFile file = NativeFile::claim(join(folder, name), claim);
            if (claim == NativeFile::Claim::kClaimed) {
                file.remove(join(folder, name));
            }
        }
    }
    return found;
}

// The visible name the take gets, or none when it stays hidden.
std::optional<std::string> give_name(NativeFile& file, const Leftover& leftover,
                                     const std::string& folder) {
    const std::string base =
        leftover.started.empty() ? "unfinished" : "unfinished_" + leftover.started;
    for (int number = 1; number <= kMostNumbers; ++number) {
        const std::string name =
            number == 1 ? base + ".wav" : base + "_" + std::to_string(number) + ".wav";
        switch (file.rename(leftover.path, join(folder, name))) {
            case NameAdded::kAdded:
                return name;
            case NameAdded::kNameTaken:
                continue;
            case NameAdded::kFailed:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<RecoveredTake> recover(const Leftover& leftover, const std::string& folder) {
    NativeFile::Claim claim = NativeFile::Claim::kFailed;
    NativeFile file = NativeFile::claim(leftover.path, claim);
    if (claim != NativeFile::Claim::kClaimed) {
        return std::nullopt;
    }
    // Cut off between its save and its close: the saved name holds it all.
    if (file.name_count() > 1) {
        file.remove(leftover.path);
        return std::nullopt;
    }
    const std::int64_t frames = mend_take_header(file);
    if (frames < 0) {
        return std::nullopt;
    }
    if (frames == 0) {
        file.remove(leftover.path);
        return std::nullopt;
    }
    // Named as saved only once the mended take is on the disk.
    if (!file.flush()) {
        return std::nullopt;
    }
    std::optional<std::string> name = give_name(file, leftover, folder);
    if (!name) {
        return std::nullopt;
    }
    flush_folder(folder);
    return RecoveredTake{std::move(*name), leftover.started, frames};
}

}  // namespace

std::vector<RecoveredTake> recover_unfinished_takes_told(const std::string& folder) {
    std::vector<RecoveredTake> takes;
    for (const Leftover& leftover : leftovers_in(folder)) {
        if (std::optional<RecoveredTake> take = recover(leftover, folder)) {
            std::fprintf(stderr, "Taperly: an unfinished take is saved as %s\n",
                         take->name.c_str());
            takes.push_back(std::move(*take));
        }
    }
    return takes;
}

std::vector<std::string> recover_unfinished_takes(const std::string& folder) {
    std::vector<std::string> names;
    for (RecoveredTake& take : recover_unfinished_takes_told(folder)) {
        names.push_back(std::move(take.name));
    }
    return names;
}

}  // namespace taperly
