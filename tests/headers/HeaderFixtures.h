// Helpers shared by the stream-header tests: fixture paths, the durations
// ffprobe measured of them (recorded by make-headers.sh) and byte builders.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace headertest {

inline std::string fixture(const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/media/headers/" + name;
}

inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The duration ffprobe measured of a fixture; -1 when it is not recorded.
inline double ffprobeDuration(const std::string& name) {
    std::ifstream in(fixture("ffprobe.txt"));
    std::string file;
    double seconds = 0;
    while (in >> file >> seconds)
        if (file == name) return seconds;
    return -1;
}

// What mutagen read of a fixture's field (recorded by make-headers.sh), or
// nullopt when it read no such field.
inline std::optional<std::string> mutagenField(const std::string& file, const std::string& field) {
    std::ifstream in(fixture("mutagen.txt"));
    std::string line;
    while (std::getline(in, line)) {
        const size_t a = line.find('\t'), b = line.find('\t', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        if (line.substr(0, a) == file && line.substr(a + 1, b - a - 1) == field) return line.substr(b + 1);
    }
    return std::nullopt;
}

inline std::string le16(uint16_t v) {
    return {char(v & 0xFF), char(v >> 8)};
}
inline std::string le32(uint32_t v) {
    return le16(uint16_t(v & 0xFFFF)) + le16(uint16_t(v >> 16));
}
inline std::string le64(uint64_t v) {
    return le32(uint32_t(v)) + le32(uint32_t(v >> 32));
}
inline std::string be32(uint32_t v) {
    return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}

// An ID3v2.4 tag of `total` bytes (header included): one TIT2 frame holding a
// false MPEG sync and padding.
inline std::string id3v2Tag(uint32_t total) {
    const uint32_t body = total - 10;
    std::string tag = "ID3\x04";
    tag += std::string("\0\0", 2);
    tag +=
        {char((body >> 21) & 0x7F), char((body >> 14) & 0x7F), char((body >> 7) & 0x7F), char(body & 0x7F)};
    std::string frame =
        std::string("TIT2") + be32(7) + std::string("\0\0", 2) + std::string("\x03\xFF\xFB\x90\x64xy", 7);
    tag += frame;
    tag += std::string(body - frame.size(), '\0');
    return tag;
}

}  // namespace headertest
