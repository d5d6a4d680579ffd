// The media description of one stream, shared by the engine, the playlist
// entries and the plug-in host, and the table of its fields that the playlist
// file, the tools and the tests walk instead of naming every field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

struct TStreamInfo {
    std::string FileName;        // the path or URL as passed
    uint32_t FileSize = 0;       // bytes; for a CD track the track's length in bytes
    uint32_t SampleRate = 0;     // Hz
    uint32_t BitRate = 0;        // kbit/s, 0 when unknown
    uint16_t BitsPerSample = 16;
    uint32_t Duration = 0;       // milliseconds
    uint16_t Channels = 0;
    uint32_t Format = 0;         // the audio library's channel-type code
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Genre;
    uint8_t GenreID = 0;         // ID3v1 genre number
    uint8_t Track = 0;
    std::string Comment;

    TStreamInfo() = default;
    explicit TStreamInfo(std::string fileName) : FileName(std::move(fileName)) {}

    bool operator==(const TStreamInfo&) const = default;
};

// One field of TStreamInfo: its name (the tools' JSON key), the attribute the
// playlist file stores it under with that attribute's place among the item's
// attributes, and the member. Strings and numbers are apart: the member is
// either a string or one of the three unsigned widths the record uses.
struct TStreamInfoField {
    using Member = std::variant<std::string TStreamInfo::*, uint32_t TStreamInfo::*, uint16_t TStreamInfo::*,
                                uint8_t TStreamInfo::*>;

    const char* name;
    const char* attribute;
    std::size_t filePosition;
    Member member;

    constexpr bool isText() const { return member.index() == 0; }
    const std::string& text(const TStreamInfo& info) const { return info.*std::get<0>(member); }
    std::string& text(TStreamInfo& info) const { return info.*std::get<0>(member); }
    // A number field's value; 0 for a string field.
    uint32_t number(const TStreamInfo& info) const {
        return std::visit(
            [&](auto m) -> uint32_t {
                if constexpr (std::is_same_v<decltype(m), std::string TStreamInfo::*>) {
                    return 0;
                } else {
                    return info.*m;
                }
            },
            member);
    }
    // Stores a number cut to the field's width, as an integer assignment does;
    // nothing for a string field.
    void setNumber(TStreamInfo& info, uint64_t value) const {
        std::visit(
            [&](auto m) {
                if constexpr (!std::is_same_v<decltype(m), std::string TStreamInfo::*>) {
                    info.*m = static_cast<std::remove_reference_t<decltype(info.*m)>>(value);
                }
            },
            member);
    }
};

// Every field, in the record's order (the order of the tools' JSON keys).
inline constexpr std::array<TStreamInfoField, 16> kStreamInfoFields = {{
    {"FileName", "filename", 0, &TStreamInfo::FileName},
    {"FileSize", "filesize", 1, &TStreamInfo::FileSize},
    {"SampleRate", "samplerate", 2, &TStreamInfo::SampleRate},
    {"BitRate", "bitrate", 3, &TStreamInfo::BitRate},
    {"BitsPerSample", "bitspersample", 4, &TStreamInfo::BitsPerSample},
    {"Duration", "duration", 5, &TStreamInfo::Duration},
    {"Channels", "channels", 13, &TStreamInfo::Channels},
    {"Format", "format", 14, &TStreamInfo::Format},
    {"Title", "title", 6, &TStreamInfo::Title},
    {"Artist", "artist", 7, &TStreamInfo::Artist},
    {"Album", "album", 8, &TStreamInfo::Album},
    {"Year", "year", 9, &TStreamInfo::Year},
    {"Genre", "genre", 10, &TStreamInfo::Genre},
    {"GenreID", "genreid", 15, &TStreamInfo::GenreID},
    {"Track", "track", 11, &TStreamInfo::Track},
    {"Comment", "comment", 12, &TStreamInfo::Comment},
}};

static_assert(
    [] {
        const std::size_t n = kStreamInfoFields.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (kStreamInfoFields[i].filePosition >= n) return false;
            for (std::size_t j = i + 1; j < n; ++j)
                if (kStreamInfoFields[i].filePosition == kStreamInfoFields[j].filePosition) return false;
        }
        return true;
    }(),
    "every field has a place of its own in the playlist file");

// The fields in the order of the playlist file's attributes.
inline constexpr std::array<const TStreamInfoField*, kStreamInfoFields.size()> kStreamInfoFileOrder = [] {
    std::array<const TStreamInfoField*, kStreamInfoFields.size()> order{};
    for (const TStreamInfoField& field : kStreamInfoFields) order.at(field.filePosition) = &field;
    return order;
}();
