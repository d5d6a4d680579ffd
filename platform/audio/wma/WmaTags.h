// The WMA tag block of BASS_ChannelGetTags(BASS_TAG_WMA): a series of
// "Name=value" strings, each ended by a NUL, the whole ended by an empty one.
// Names are the ASF attribute names ("Title", "Author", "WM/AlbumTitle" ...),
// values UTF-8. The series starts with "FileSize=" and "Bitrate=" when those
// are known.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qwma {

// The attribute name of a metadata key as the demuxer reports it: its own
// generic names ("title", "artist", "album" ...) go back to the ASF names;
// any other key (already an ASF name such as "WM/Year") stays as it is.
std::string attributeName(std::string_view key);

// Builds the series. Entries with an empty name or value are left out;
// values longer than kMaxTagValue bytes are cut at a character boundary and
// the series stops growing at kMaxTagBlock bytes.
std::string buildTagSeries(std::optional<uint64_t> fileSize, std::optional<uint64_t> bitRate,
                           const std::vector<std::pair<std::string, std::string>>& metadata);

// One attribute value is a string of at most 32767 UTF-16 units in the ASF
// header; 64 KiB of UTF-8 holds any real one.
constexpr size_t kMaxTagValue = 64 * 1024;
// The ASF header is at most a few hundred KiB in practice; the series is
// capped so a header full of attributes cannot make it grow without bound.
constexpr size_t kMaxTagBlock = 1024 * 1024;

}  // namespace qwma
