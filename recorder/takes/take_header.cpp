#include "recorder/takes/take_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "recorder/takes/riff_bytes.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_layout.h"

namespace taperly {

namespace {

// As far as the writer's header and its chunks reach.
constexpr std::int64_t kHeadRoom = 4096;
constexpr std::int64_t kPlainHeaderSize = 44;
constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kExtensible = 0xFFFE;

using riff::is_id;
using riff::put_u16;
using riff::put_u32;
using riff::u16_at;
using riff::u32_at;

// Where the sound starts and how long a frame is, read from a header whose
// chunks make sense up to the sound; none for any other.
struct Layout {
    std::int64_t data_start = 0;
    std::int64_t frame_bytes = 0;
};

bool read_layout(const unsigned char* head, std::int64_t length, Layout& layout) {
    if (length < 12 || !is_id(head, "RIFF") || !is_id(head + 8, "WAVE")) {
        return false;
    }
    std::int64_t frame_bytes = 0;
    for (std::int64_t at = 12; at + 8 <= length;) {
        const std::int64_t size = u32_at(head + at + 4);
        if (is_id(head + at, "data")) {
            if (frame_bytes == 0) {
                return false;
            }
            layout = {at + 8, frame_bytes};
            return true;
        }
        if (is_id(head + at, "fmt ")) {
            if (size < 16 || at + 8 + 16 > length) {
                return false;
            }
            const unsigned char* format = head + at + 8;
            const std::uint16_t tag = u16_at(format);
            const std::uint16_t block = u16_at(format + 12);
            if ((tag != kPcm && tag != kExtensible) || block == 0) {
                return false;
            }
            frame_bytes = block;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// The header the writer makes for a take: RIFF, a plain PCM format chunk
// and the sound's chunk, sizes to be filled in.
std::array<unsigned char, kPlainHeaderSize> plain_header() {
    std::array<unsigned char, kPlainHeaderSize> header{};
    unsigned char* bytes = header.data();
    std::memcpy(bytes, "RIFF", 4);
    std::memcpy(bytes + 8, "WAVEfmt ", 8);
    put_u32(bytes + 16, 16);
    put_u16(bytes + 20, kPcm);
    put_u16(bytes + 22, kTakeChannels);
    put_u32(bytes + 24, kTakeSampleRate);
    put_u32(bytes + 28, kTakeSampleRate * kTakeBytesPerFrame);
    put_u16(bytes + 32, kTakeBytesPerFrame);
    put_u16(bytes + 34, 16);
    std::memcpy(bytes + 36, "data", 4);
    return header;
}

}  // namespace

std::int64_t mend_take_header(NativeFile& file) {
    const std::int64_t size = file.size();
    if (size < 0) {
        return -1;
    }
    std::array<unsigned char, kHeadRoom> head{};
    const std::int64_t length = file.read_at(0, head.data(), std::min(size, kHeadRoom));
    if (length < 0) {
        return -1;
    }
    Layout layout;
    if (!read_layout(head.data(), length, layout)) {
        if (size <= kPlainHeaderSize) {
            return 0;
        }
        // Nothing of the header is left to go by, but the writer's own is
        // known: the sound follows it. Takes from before the header had
        // room for tags have the plain one.
        if (length >= kTakeHeaderSize && is_id(head.data() + kTakeDataSizeAt - 4, "data")) {
            const TakeHead header = take_head({}, 0);
            if (file.write_at(0, header.data(), kTakeHeaderSize) != kTakeHeaderSize) {
                return -1;
            }
            layout = {kTakeHeaderSize, kTakeBytesPerFrame};
        } else {
            const auto header = plain_header();
            if (file.write_at(0, header.data(), kPlainHeaderSize) != kPlainHeaderSize) {
                return -1;
            }
            layout = {kPlainHeaderSize, kTakeBytesPerFrame};
        }
    }
    const std::int64_t room = std::max<std::int64_t>(0, size - layout.data_start);
    // Sizes in a WAV header are 32-bit: a longer take keeps what they reach.
    const std::int64_t reach = 0xFFFFFFFFLL - layout.data_start;
    const std::int64_t frames = std::min(room, reach) / layout.frame_bytes;
    const std::int64_t data_bytes = frames * layout.frame_bytes;
    const std::int64_t end = layout.data_start + data_bytes;

    std::array<unsigned char, 4> field{};
    put_u32(field.data(), static_cast<std::uint32_t>(data_bytes));
    if (file.write_at(layout.data_start - 4, field.data(), 4) != 4) {
        return -1;
    }
    put_u32(field.data(), static_cast<std::uint32_t>(end - 8));
    if (file.write_at(4, field.data(), 4) != 4) {
        return -1;
    }
    if (end != size && !file.resize(end)) {
        return -1;
    }
    return frames;
}

}  // namespace taperly
