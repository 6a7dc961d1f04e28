#include "link/reply_fields.h"

namespace taperly {

std::vector<std::string> split_at(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

ReplyFields::ReplyFields(std::string_view text) : fields_(split_at(text, ',')) {}

const std::string& ReplyFields::at(int index) const {
    if (index < 0 || index > highest_index()) {
        throw MissingField("reply field " + std::to_string(index) + " is missing");
    }
    return fields_[static_cast<std::size_t>(index)];
}

void ReplyFields::rejoin(int index, int count) {
    if (count < 0 || index < 0 || index > highest_index() - count) {
        throw MissingField("reply fields " + std::to_string(index) + " to " +
                           std::to_string(index + count) + " are missing");
    }
    const auto first = fields_.begin() + index;
    for (auto piece = first + 1; piece != first + 1 + count; ++piece) {
        *first += ',';
        *first += *piece;
    }
    fields_.erase(first + 1, first + 1 + count);
}

bool is_status_reply(std::string_view text) {
    return text.substr(0, 3) == "STS";
}

bool is_identity_reply(std::string_view text) {
    return text.substr(0, 3) == "GID";
}

}  // namespace taperly
