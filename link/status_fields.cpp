#include "link/status_fields.h"

namespace taperly {

namespace {

// The scanner sends display texts as they are, commas included, so a comma in
// a line adds a field and moves every field after it, the reception flag
// among them. It also pads each line with spaces to exactly 16 characters,
// and that tells where a line ends: a display field shorter than that is a
// line cut at its commas when it and the pieces after it, joined again by
// commas, come to exactly 16 characters, and the reply has that many fields
// beyond the twelve of its layout to spare. A field of 16 characters or more
// is whole; a reply without fields to spare, or whose pieces never make up a
// padded line, is read as split, as it always was.
constexpr int kDisplayLineFields[] = {1, 3};

// How many of the pieces after `index` belong to the line that begins there.
int pieces_after(const ReplyFields& fields, int index, int spare) {
    std::size_t size = fields.at(index).size();
    for (int more = 1; more <= spare && size < kDisplayLineWidth; ++more) {
        size += 1 + fields.at(index + more).size();
        if (size == kDisplayLineWidth) {
            return more;
        }
    }
    return 0;
}

}  // namespace

ReplyFields status_fields(std::string_view text) {
    ReplyFields fields(text);
    int spare = fields.highest_index() - kStatusHighestIndex;
    for (const int index : kDisplayLineFields) {
        if (spare <= 0) {
            break;
        }
        const int more = pieces_after(fields, index, spare);
        fields.rejoin(index, more);
        spare -= more;
    }
    return fields;
}

}  // namespace taperly
