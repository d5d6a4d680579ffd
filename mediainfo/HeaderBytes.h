// Small helpers for decoding fixed-layout binary headers held in memory.
//
// The stream-header readers read a block from their source into a buffer and
// decode numbers at fixed offsets. An offset beyond the buffer reads as zero
// bytes: a header field that the file does not contain counts as absent,
// never as whatever memory lies beyond the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mediainfo::bytes {

inline uint8_t at(std::string_view b, size_t i) {
    return i < b.size() ? static_cast<uint8_t>(b[i]) : 0;
}

inline uint16_t le16(std::string_view b, size_t i) {
    return static_cast<uint16_t>(at(b, i) | (at(b, i + 1) << 8));
}

inline uint32_t le32(std::string_view b, size_t i) {
    return static_cast<uint32_t>(at(b, i)) | (static_cast<uint32_t>(at(b, i + 1)) << 8) |
           (static_cast<uint32_t>(at(b, i + 2)) << 16) | (static_cast<uint32_t>(at(b, i + 3)) << 24);
}

inline uint64_t le64(std::string_view b, size_t i) {
    return static_cast<uint64_t>(le32(b, i)) | (static_cast<uint64_t>(le32(b, i + 4)) << 32);
}

inline uint32_t be32(std::string_view b, size_t i) {
    return (static_cast<uint32_t>(at(b, i)) << 24) | (static_cast<uint32_t>(at(b, i + 1)) << 16) |
           (static_cast<uint32_t>(at(b, i + 2)) << 8) | static_cast<uint32_t>(at(b, i + 3));
}

// True when the bytes at offset i equal `tag` (and all of them are present).
inline bool matches(std::string_view b, size_t i, std::string_view tag) {
    return i <= b.size() && b.size() - i >= tag.size() && b.substr(i, tag.size()) == tag;
}

// The 28-bit "synchsafe" integer of ID3v2 (four bytes of seven bits each).
inline uint32_t synchsafe32(std::string_view b, size_t i) {
    return (static_cast<uint32_t>(at(b, i) & 0x7F) << 21) |
           (static_cast<uint32_t>(at(b, i + 1) & 0x7F) << 14) |
           (static_cast<uint32_t>(at(b, i + 2) & 0x7F) << 7) | static_cast<uint32_t>(at(b, i + 3) & 0x7F);
}

}  // namespace mediainfo::bytes
