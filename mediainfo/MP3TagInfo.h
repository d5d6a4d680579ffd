// The tag record of a network stream, filled from an ID3v1 or ID3v2 tag held
// in memory (decodeID3v1 in ID3v1.h, decodeID3v2 in ID3v2.h).
#pragma once

#include <cstdint>
#include <string>

namespace mediainfo {

struct TMP3TagInfo {
    std::string title;  // UTF-8, like every string below
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    int16_t track = 0;  // 0 = none
    std::string genre;  // a genre name, not a number
};

}  // namespace mediainfo
