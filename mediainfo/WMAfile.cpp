#include "mediainfo/WMAfile.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "mediainfo/HeaderBytes.h"
#include "mediainfo/SourceWindow.h"
#include "mediainfo/TextFields.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

using Guid = std::array<char, 16>;

constexpr int hexValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c - 'a' + 10;
}

// The 16 bytes of a GUID as ASF stores it: the first three fields
// little-endian, the last eight bytes in text order.
constexpr Guid guid(const char (&text)[37]) {
    constexpr int order[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
    Guid g{};
    for (int i = 0; i < 16; ++i)
        g[i] = static_cast<char>(hexValue(text[order[i]]) * 16 + hexValue(text[order[i] + 1]));
    return g;
}

constexpr Guid kHeaderObject = guid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
constexpr Guid kFileProperties = guid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
constexpr Guid kStreamProperties = guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
constexpr Guid kContentDescription = guid("75B22633-668E-11CF-A6D9-00AA0062CE6C");
constexpr Guid kExtendedContent = guid("D2D0A440-E307-11D2-97F0-00A0C95EA850");

bool isGuid(std::string_view b, const Guid& g) {
    return bytes::matches(b, 0, std::string_view(g.data(), 16));
}

// The header object: GUID, 64-bit size, 32-bit object count, two reserved
// bytes; the header objects follow. Each object starts with its GUID and its
// 64-bit size, which includes these 24 bytes.
constexpr uint64_t kFirstObject = 30;
constexpr uint64_t kObjectHeader = 24;
// Strings keep at most this many UTF-16 code units; the rest is skipped.
constexpr size_t kMaxStringUnits = 250;

// A UTF-16LE string of `length` bytes at `offset`, cut to kMaxStringUnits.
std::string readString(SourceWindow& in, uint64_t offset, size_t length) {
    std::string_view b = in.get(offset, std::min(length, kMaxStringUnits * 2));
    b = b.substr(0, b.size() & ~size_t{1});
    // Do not keep half of a surrogate pair that the cut separated.
    if (b.size() >= 2 && (bytes::at(b, b.size() - 1) & 0xFC) == 0xD8) b.remove_suffix(2);
    return qtext::utf16ToUtf8(b, false);
}

struct Header {
    uint32_t maxBitRate = 0;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t avgBytesPerSec = 0;
    std::string title, artist, album, track, year, genre, comment;
};

void readContentDescription(SourceWindow& in, uint64_t pos, Header& h) {
    const std::string lengths(in.get(pos + kObjectHeader, 10));
    uint64_t at = pos + kObjectHeader + 10;
    std::string* targets[5] = {&h.title, &h.artist, nullptr, &h.comment, nullptr};
    for (size_t i = 0; i < 5; ++i) {
        const uint16_t length = bytes::le16(lengths, i * 2);
        if (length == 0) continue;
        const std::string text = readString(in, at, length);
        if (targets[i]) *targets[i] = text;
        at += length;
    }
}

void readExtendedContent(SourceWindow& in, uint64_t pos, Header& h) {
    static const std::array<std::pair<std::string_view, std::string Header::*>, 7> kNames = {{
        {"WM/TITLE", &Header::title},
        {"WM/AUTHOR", &Header::artist},
        {"WM/ALBUMTITLE", &Header::album},
        {"WM/TRACK", &Header::track},
        {"WM/YEAR", &Header::year},
        {"WM/GENRE", &Header::genre},
        {"WM/DESCRIPTION", &Header::comment},
    }};
    uint64_t at = pos + kObjectHeader;
    const uint16_t count = bytes::le16(in.get(at, 2), 0);
    at += 2;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t nameLength = bytes::le16(in.get(at, 2), 0);
        const std::string name = qtext::asciiUpper(qtext::trimControl(readString(in, at + 2, nameLength)));
        at += 2 + uint64_t{nameLength};
        const std::string typeAndLength(in.get(at, 4));
        if (typeAndLength.size() < 4) return;  // the file ends inside the list
        const uint16_t type = bytes::le16(typeAndLength, 0);
        const uint16_t valueLength = bytes::le16(typeAndLength, 2);
        at += 4;
        if (type == 0) {  // a Unicode string; numbers and the rest are skipped
            const std::string value = readString(in, at, valueLength);
            for (const auto& [key, field] : kNames)
                if (name == key) h.*field = value;
        }
        at += valueLength;
    }
}

}  // namespace

bool TWMAfile::ReadFromSource(ByteSource& src) {
    using namespace bytes;
    reset();
    const uint64_t fileSize = src.size();
    SourceWindow in(src, 4096, 64 * 1024);
    const std::string top(in.get(0, kFirstObject));
    if (!isGuid(top, kHeaderObject)) return true;

    Header h;
    const uint32_t objects = le32(top, 24);
    uint64_t pos = kFirstObject;
    // Every object advances the walk by at least its own 24-byte header, so a
    // stated count far beyond what the file holds ends at the end of the file.
    for (uint32_t i = 0; i < objects && pos < fileSize; ++i) {
        const std::string obj(in.get(pos, kObjectHeader));
        if (obj.size() < kObjectHeader) break;
        const uint32_t size = le32(obj, 16);
        if (isGuid(obj, kFileProperties)) {
            h.maxBitRate = le32(in.get(pos + 100, 4), 0);
        } else if (isGuid(obj, kStreamProperties)) {
            const std::string wf(in.get(pos + 80, 10));
            h.channels = le16(wf, 0);
            h.sampleRate = le32(wf, 2);
            h.avgBytesPerSec = le32(wf, 6);
        } else if (isGuid(obj, kContentDescription)) {
            readContentDescription(in, pos, h);
        } else if (isGuid(obj, kExtendedContent)) {
            readExtendedContent(in, pos, h);
        }
        if (size < kObjectHeader) break;  // a size that cannot hold the object itself
        pos += size;
    }

    const bool valid = h.maxBitRate > 0 && h.maxBitRate < 320000 && h.channels >= 1 && h.channels <= 6 &&
                       h.sampleRate >= 8000 && h.sampleRate <= 96000 && h.avgBytesPerSec > 0 &&
                       h.avgBytesPerSec < 40000;
    if (!valid) return true;
    m_valid = true;
    m_fileSize = static_cast<int64_t>(fileSize);
    m_channels = static_cast<int32_t>(h.channels);
    m_sampleRate = static_cast<int32_t>(h.sampleRate);
    m_duration = static_cast<double>(fileSize) * 8.0 / h.maxBitRate;
    m_bitRate = static_cast<int32_t>(h.avgBytesPerSec * 8 / 1000);
    m_title = qtext::trimControl(h.title);
    m_artist = qtext::trimControl(h.artist);
    m_album = qtext::trimControl(h.album);
    m_year = qtext::trimControl(h.year);
    m_genre = qtext::trimControl(h.genre);
    m_comment = qtext::trimControl(h.comment);
    const std::string track = qtext::trimControl(h.track);
    if (track.find('/') == std::string::npos)
        m_track = static_cast<int32_t>(leadingNumber(track, 0x7FFFFFFF).value_or(0));
    return true;
}

TAudioProperties TWMAfile::audioProperties() const {
    TAudioProperties p;
    p.fileSize = byteCount(m_fileSize);
    p.sampleRate = clampToU32(m_sampleRate);
    p.bitRate = clampToU32(m_bitRate);
    p.duration = millisecondsOf(m_duration);
    p.channels = static_cast<uint16_t>(clampToU32(m_channels));
    return p;
}

TTagFields TWMAfile::tagFields() const {
    TTagFields t;
    t.title = m_title;
    t.artist = m_artist;
    t.album = m_album;
    t.year = m_year;
    t.genre = m_genre;
    t.comment = m_comment;
    t.track = m_track;
    return t;
}

}  // namespace mediainfo
