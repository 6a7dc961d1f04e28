#pragma once

#include <cstdint>
#include <string>

#include "recorder/takes/native_file.h"

namespace taperly {

// A file an export makes: written as a hidden file in the folder it goes
// to, flushed, and only then given its name, never one that is taken (a
// name taken gets "_2", "_3" … before its extension), so that a name seen
// is always a whole file and no file is ever replaced. Dropped unless named.
class ExportFile {
  public:
    ExportFile(std::string folder, const std::string& extension);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    bool is_open() const { return file_.is_open(); }
    // Appends `count` bytes; false on failure, with the reason in errno.
    bool write(const void* bytes, std::int64_t count);
    bool write_at(std::int64_t offset, const void* bytes, std::int64_t count);
    // Bytes written; write_at's within them do not count.
    std::int64_t size() const { return size_; }
    // Flushes it and names it `name`, or the first free numbered name
    // after it. The name given; empty on failure, with the reason in errno.
    std::string name(const std::string& name);

  private:
    NameAdded copy_to(const std::string& path);

    std::string folder_;
    std::string hidden_path_;
    NativeFile file_;
    std::int64_t size_ = 0;
    bool named_ = false;
};

}  // namespace taperly
