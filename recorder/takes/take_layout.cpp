#include "recorder/takes/take_layout.h"

#include <cstring>
#include <string>
#include <string_view>

#include "recorder/takes/riff_bytes.h"
#include "recorder/takes/take_format.h"

namespace taperly {

namespace {

using riff::put_u16;
using riff::put_u32;
using riff::put_u64;

constexpr std::uint32_t kFormatSize = 16;
constexpr std::uint32_t kBextSize = 602;
constexpr std::uint16_t kBextVersion = 1;
constexpr std::uint16_t kPcm = 1;

// The INFO tags in the order they lie, with their rooms (a closing zero
// included).
struct InfoRoom {
    const char* id;
    std::uint32_t size;
    std::string TakeTags::*tag;
};
constexpr InfoRoom kInfoRooms[] = {
    {"INAM", 256, &TakeTags::title},
    {"ICMT", 1024, &TakeTags::comment},
    {"ICRD", 32, &TakeTags::created},
    {"ISFT", 32, &TakeTags::software},
};

constexpr std::int64_t info_size() {
    std::int64_t size = 4;
    for (const InfoRoom& room : kInfoRooms) {
        size += 8 + room.size;
    }
    return size;
}
static_assert(12 + 8 + kFormatSize + 8 + kBextSize + 8 + info_size() + 8 == kTakeHeaderSize);

// At most `room` bytes of `text`, never half a character.
std::string_view fitted(const std::string& text, std::size_t room) {
    if (text.size() <= room) {
        return text;
    }
    std::size_t end = room;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string_view(text).substr(0, end);
}

unsigned char* put_text(unsigned char* into, const std::string& text, std::size_t room) {
    const std::string_view fit = fitted(text, room);
    std::memcpy(into, fit.data(), fit.size());
    return into + room;
}

unsigned char* put_chunk_start(unsigned char* into, const char* id, std::uint32_t size) {
    std::memcpy(into, id, 4);
    put_u32(into + 4, size);
    return into + 8;
}

unsigned char* put_format(unsigned char* at) {
    at = put_chunk_start(at, "fmt ", kFormatSize);
    put_u16(at, kPcm);
    put_u16(at + 2, kTakeChannels);
    put_u32(at + 4, kTakeSampleRate);
    put_u32(at + 8, kTakeSampleRate * kTakeBytesPerFrame);
    put_u16(at + 12, kTakeBytesPerFrame);
    put_u16(at + 14, 8 * kTakeBytesPerFrame / kTakeChannels);
    return at + kFormatSize;
}

unsigned char* put_bext(unsigned char* at, const TakeTags& tags) {
    unsigned char* const end = put_chunk_start(at, "bext", kBextSize) + kBextSize;
    at = put_text(at + 8, tags.comment, 256);
    at = put_text(at, "Taperly", 32);
    at = put_text(at, {}, 32);  // no reference of the originator's
    at = put_text(at, tags.origination_date, 10);
    at = put_text(at, tags.origination_time, 8);
    put_u64(at, tags.time_reference);
    put_u16(at + 8, kBextVersion);
    // The UMID, the loudness figures and the reserved bytes stay zero.
    return end;
}

unsigned char* put_info(unsigned char* at, const TakeTags& tags) {
    at = put_chunk_start(at, "LIST", static_cast<std::uint32_t>(info_size()));
    std::memcpy(at, "INFO", 4);
    at += 4;
    for (const InfoRoom& room : kInfoRooms) {
        at = put_chunk_start(at, room.id, room.size);
        put_text(at, tags.*room.tag, room.size - 1);
        at += room.size;
    }
    return at;
}

}  // namespace

TakeHead take_head(const TakeTags& tags, std::uint32_t data_bytes) {
    TakeHead head{};
    unsigned char* at = head.data();
    std::memcpy(at, "RIFF", 4);
    put_u32(at + 4, static_cast<std::uint32_t>(kTakeHeaderSize - 8 + data_bytes));
    std::memcpy(at + 8, "WAVE", 4);
    at = put_format(at + 12);
    at = put_bext(at, tags);
    at = put_info(at, tags);
    put_chunk_start(at, "data", data_bytes);
    return head;
}

}  // namespace taperly
