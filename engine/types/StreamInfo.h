// The media description of one stream, shared by the engine, the playlist
// entries and the plug-in host.
#pragma once

#include <cstdint>
#include <string>

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
