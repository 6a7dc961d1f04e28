#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace taperly::riff {

// RIFF numbers are little-endian whatever the machine.
inline std::uint32_t u32_at(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline std::uint16_t u16_at(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline void put_u64(unsigned char* into, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        into[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline void put_u32(unsigned char* into, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        into[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline void put_u16(unsigned char* into, std::uint16_t value) {
    into[0] = static_cast<unsigned char>(value);
    into[1] = static_cast<unsigned char>(value >> 8);
}

inline bool is_id(const unsigned char* bytes, std::string_view id) {
    return std::memcmp(bytes, id.data(), 4) == 0;
}

}  // namespace taperly::riff
