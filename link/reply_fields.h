#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace taperly {

// A read of a field or word that the reply does not have.
class MissingField : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;
};

// A received text split at every comma: no quoting, no trimming, empty
// fields kept. The last field runs to the end of the text, carriage return
// included.
class ReplyFields {
  public:
    explicit ReplyFields(std::string_view text);

    int highest_index() const { return static_cast<int>(fields_.size()) - 1; }
    // Throws MissingField beyond the highest index.
    const std::string& at(int index) const;
    // Fields `index` to `index + count` made one field again, with the commas
    // that split them. Throws MissingField when the reply has no such fields.
    void rejoin(int index, int count);

  private:
    std::vector<std::string> fields_;
};

bool is_status_reply(std::string_view text);
bool is_identity_reply(std::string_view text);

// A status reply carries at least twelve fields before it is acted on.
inline constexpr int kStatusHighestIndex = 11;
inline constexpr int kIdentityHighestIndex = 6;

// `text` split at every occurrence of `separator`, empty pieces kept.
std::vector<std::string> split_at(std::string_view text, char separator);

}  // namespace taperly
