#pragma once

#include <mutex>
#include <string>

namespace taperly {

// One outcome of a take at a target, as uploads.csv tells it.
struct UploadRow {
    // ISO 8601 with the UTC offset.
    std::string time;
    std::string file;
    std::string target;
    std::string outcome;
    // 0 where there was none.
    int http_status = 0;
    std::string answer;
    int tries = 0;

    bool operator==(const UploadRow&) const = default;
};

class UploadRows {
  public:
    virtual ~UploadRows() = default;
    virtual void add(const UploadRow& row) = 0;
};

// uploads.csv in the takes folder: a row appended and on the disk for every
// outcome, from any target's thread. A row that cannot be written is kept
// as its reason, for the window.
class UploadsCsv : public UploadRows {
  public:
    explicit UploadsCsv(std::string path) : path_(std::move(path)) {}
    void add(const UploadRow& row) override;
    // Why the last row could not be written; empty after one that was.
    std::string failure() const;

  private:
    std::string path_;
    // Rows are written one at a time; the window only reads the failure,
    // never waiting for a disk.
    std::mutex writing_;
    mutable std::mutex mutex_;
    std::string failure_;
};

}  // namespace taperly
