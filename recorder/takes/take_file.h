#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recorder/takes/native_file.h"

namespace taperly {

// Where one take's bytes go, apart from how they are encoded: a hidden file
// in the takes folder while the take grows, which a save gives the take's
// name in one step, never over another file. Reads and writes go through a
// position of its own, as in a file. A failure comes back as the result, with
// the reason in errno.
class TakeFile {
  public:
    explicit TakeFile(std::string folder);
    // Closes the hidden file and leaves it where it is: a take goes only by
    // discard(), never because an error unwound whatever held it.
    ~TakeFile() = default;
    TakeFile(const TakeFile&) = delete;
    TakeFile& operator=(const TakeFile&) = delete;

    // A new, empty hidden file, dropping any earlier one. Its name carries
    // `started`, when the take began as its name will say it
    // ("9-05-07-PM_12-05-2026"), so that a take a crash cut short can still
    // be named; a text that cannot stand in a file name is left out.
    bool create(const std::string& started = {});
    bool is_open() const { return file_.is_open(); }
    const std::string& folder() const { return folder_; }
    // The hidden file ("" when none).
    const std::string& hidden_path() const { return hidden_path_; }
    // Where a take saved as `name` lies.
    std::string path_of(const std::string& name) const;

    // The bytes read (0 at the end, -1 on failure) or written (fewer than
    // `count` only on failure), from the position on.
    std::int64_t read(void* into, std::int64_t count);
    std::int64_t write(const void* from, std::int64_t count);
    // As fseek's `whence` reads: SEEK_SET, SEEK_CUR or SEEK_END. The new
    // position, or -1 for one before the start.
    std::int64_t seek(std::int64_t offset, int whence);
    std::int64_t position() const { return position_; }
    std::int64_t size() const { return file_.size(); }
    // Waits until the take's bytes are on the disk.
    bool flush() { return file_.flush(); }
    // The open file itself, for reading the take as it is.
    const NativeFile& file() const { return file_; }

    // kStoredNotFlushed: stored, but the disk reported an error when the
    // folder's entry was flushed (errno says why), so a power cut soon could
    // still take the name.
    enum class Saved { kStored, kStoredNotFlushed, kNameTaken, kFailed };
    // Makes the take, as it is now, appear as `name` in the folder, and only
    // once it is on the disk: its bytes are flushed, the name is given in one
    // step that never replaces a file (a second name where the folder has hard
    // links, else a rename that refuses to replace, else a copy into a file
    // made anew), and the folder's entry is flushed. Once stored, the take is
    // the saved file: write nothing more, and discard() only drops the hidden
    // name. On kFailed the hidden file is left as it was, and errno says why.
    Saved save_as(const std::string& name);
    // Closes the hidden file and leaves it where it is, unlocked, so that the
    // next start recovers what could not be saved.
    void keep_hidden();
    // Closes and removes the hidden file.
    void discard();

  private:
    Saved give_name(const std::string& target);
    // A copy of every byte of the take into `to`.
    bool copy_into(NativeFile& to) const;
    bool store_copy(const std::string& target) const;

    std::string folder_;
    std::string started_;
    std::string hidden_path_;
    // Open for the take's whole life: it reads the take even after its
    // hidden name is gone (the folder was removed and made again), so what
    // was recorded can still be saved.
    NativeFile file_;
    std::int64_t position_ = 0;
};

// The start of the name of a hidden take that began at `started` (none when
// empty): a random part and ".wav" follow it.
std::string hidden_take_prefix(const std::string& started);
// When the hidden take named `file_name` began ("" when its name does not
// say); none when the name is not one of a hidden take.
std::optional<std::string> hidden_take_start(const std::string& file_name);

}  // namespace taperly
