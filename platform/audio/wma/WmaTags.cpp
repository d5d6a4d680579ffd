#include "platform/audio/wma/WmaTags.h"

#include <array>

namespace qwma {

namespace {

// The demuxer's generic names and the ASF attributes they come from.
constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kNames{{
    {"title", "Title"},
    {"artist", "Author"},
    {"author", "Author"},
    {"copyright", "Copyright"},
    {"comment", "Description"},
    {"rating", "Rating"},
    {"album", "WM/AlbumTitle"},
    {"album_artist", "WM/AlbumArtist"},
    {"genre", "WM/Genre"},
    {"track", "WM/TrackNumber"},
    {"date", "WM/Year"},
    {"composer", "WM/Composer"},
}};

// `value` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view cutUtf8(std::string_view value, size_t limit) {
    if (value.size() <= limit) return value;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
    return value.substr(0, end);
}

}  // namespace

std::string attributeName(std::string_view key) {
    for (const auto& [generic, asf] : kNames) {
        if (key == generic) return std::string(asf);
    }
    return std::string(key);
}

std::string buildTagSeries(std::optional<uint64_t> fileSize, std::optional<uint64_t> bitRate,
                           const std::vector<std::pair<std::string, std::string>>& metadata) {
    std::string out;
    auto add = [&out](std::string_view name, std::string_view value) {
        if (name.empty() || value.empty()) return;
        if (name.find('\0') != std::string_view::npos) return;
        value = cutUtf8(value.substr(0, value.find('\0')), kMaxTagValue);
        if (out.size() + name.size() + value.size() + 2 > kMaxTagBlock) return;
        out.append(name).append("=").append(value).push_back('\0');
    };
    if (fileSize) add("FileSize", std::to_string(*fileSize));
    if (bitRate) add("Bitrate", std::to_string(*bitRate));
    for (const auto& [key, value] : metadata) add(attributeName(key), value);
    out.push_back('\0');
    return out;
}

}  // namespace qwma
