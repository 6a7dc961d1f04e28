#pragma once

#include <optional>
#include <string>
#include <vector>

#include "keeping/take_stars.h"

namespace taperly {

// The stars the user gave takes, kept in the takes folder as `stars.csv`:
// one row appended for each star given or taken away (its time, the take's
// file name, "starred" or "not starred"), each written whole and on the
// disk before the star is shown, as takes.csv's rows are. A name's last row
// decides. The file is small, plain and read by any spreadsheet; it is the
// only copy of the stars, so nothing but appending ever writes it.
class StarFile : public TakeStars {
  public:
    static constexpr const char* kName = "stars.csv";

    explicit StarFile(const std::string& folder);

    // The names starred now; none when the file cannot be read (a missing
    // file stars nothing).
    std::optional<std::vector<std::string>> starred() const override;

    // Stars `names` or takes their stars away, at `when` (ISO 8601). False,
    // with the reason in errno, when the rows may not be there.
    bool write(const std::vector<std::string>& names, bool starred, const std::string& when) const;

  private:
    std::string path_;
};

}  // namespace taperly
