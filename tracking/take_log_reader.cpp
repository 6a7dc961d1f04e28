#include "tracking/take_log_reader.h"

#include <algorithm>

namespace taperly {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

TakeLogReader::TakeLogReader(std::istream& in, std::int64_t offset, std::optional<std::int64_t> end)
    : in_(in), buffer_(kChunk), offset_(offset), row_offset_(offset), read_to_(offset), end_(end) {
    // A spreadsheet that saves the log again may put a byte-order mark first.
    if (offset == 0 && fill() && size_ >= 3 && buffer_[0] == '\xEF' && buffer_[1] == '\xBB' &&
        buffer_[2] == '\xBF') {
        at_ = 3;
        offset_ = 3;
    }
}

bool TakeLogReader::fill() {
    std::int64_t want = kChunk;
    if (end_) {
        want = std::min<std::int64_t>(want, *end_ - read_to_);
    }
    if (want <= 0 || !in_) {
        return false;
    }
    in_.read(buffer_.data(), want);
    size_ = static_cast<std::size_t>(in_.gcount());
    at_ = 0;
    read_to_ += static_cast<std::int64_t>(size_);
    return size_ > 0;
}

bool TakeLogReader::next(std::vector<std::string>& fields) {
    // The strings are kept from row to row: their room is reused.
    std::size_t count = 0;
    const auto new_field = [&fields, &count] {
        if (count == fields.size()) {
            fields.emplace_back();
        } else {
            fields[count].clear();
        }
        ++count;
    };
    enum class State { kPlain, kQuoted, kQuoteInQuoted };
    State state = State::kPlain;
    row_offset_ = offset_;
    row_ended_ = false;
    bool any = false;
    new_field();
    for (;;) {
        if (at_ == size_ && !fill()) {
            break;
        }
        any = true;
        // What needs no decision is taken in one run: a million rows are
        // read on every pass.
        if (state != State::kQuoteInQuoted) {
            const char* const begin = buffer_.data() + at_;
            const char* const end = buffer_.data() + size_;
            const char* stop = begin;
            if (state == State::kQuoted) {
                while (stop < end && *stop != '"') {
                    ++stop;
                }
            } else {
                while (stop < end && *stop != ',' && *stop != '"' && *stop != '\n' &&
                       *stop != '\r') {
                    ++stop;
                }
            }
            fields[count - 1].append(begin, stop);
            at_ += static_cast<std::size_t>(stop - begin);
            offset_ += stop - begin;
            if (offset_ - row_offset_ > kLongestRow) {
                too_long_ = true;
                return false;
            }
            if (at_ == size_) {
                continue;
            }
        }
        const char c = buffer_[at_++];
        ++offset_;
        if (state == State::kQuoteInQuoted) {
            if (c == '"') {
                fields[count - 1] += '"';
                state = State::kQuoted;
                continue;
            }
            state = State::kPlain;
        }
        if (state == State::kQuoted) {
            state = State::kQuoteInQuoted;
        } else if (c == '"') {
            state = State::kQuoted;
        } else if (c == ',') {
            new_field();
        } else if (c == '\n') {
            row_ended_ = true;
            break;
        } else if (c != '\r') {
            fields[count - 1] += c;
        }
    }
    fields.resize(count);
    return any;
}

}  // namespace taperly
