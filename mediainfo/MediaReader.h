// The shape every reader of this folder shares.
//
// TMediaReader: reading a file is resetting the reader, opening the file
// read-only and reading it as a byte source (through a cache of its first and
// last bytes for the readers that visit both ends in many small steps). Every
// reader gives its text fields in one record, TTagFields.
//
// TStreamHeaderReader: a reader of a stream header also gives its technical
// data in one record, TAudioProperties, in the same units for every format.
// The readers' own accessors (bit rates in bit/s, durations in seconds, the
// widths each format stores) stay as they are; these records are what the
// engine takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mediainfo/ByteSource.h"

namespace mediainfo {

struct TAudioProperties {
    uint64_t fileSize = 0;    // bytes
    uint32_t sampleRate = 0;  // Hz
    uint32_t bitRate = 0;     // kbit/s
    uint32_t duration = 0;    // milliseconds
    uint16_t channels = 0;

    bool operator==(const TAudioProperties&) const = default;
};

// Text fields, UTF-8; empty where the reader has none.
struct TTagFields {
    std::string title, artist, album, year, genre, comment;
    int32_t track = 0;    // the number as the format stores it; 0 = none
    uint8_t genreID = 0;  // an ID3v1 genre number; 0 where the format has none

    bool operator==(const TTagFields&) const = default;
};

// Milliseconds of `seconds`, rounded and kept inside 0..UINT32_MAX (0 for a
// negative value or NaN): readers of damaged files report any number of
// seconds, and an out-of-range conversion would be undefined.
uint32_t millisecondsOf(double seconds);
// A count the readers keep signed, as an unsigned 32-bit value: 0 below 0,
// UINT32_MAX above it.
uint32_t clampToU32(int64_t value);
// A byte count the readers keep signed; 0 below 0.
inline uint64_t byteCount(int64_t value) {
    return value > 0 ? static_cast<uint64_t>(value) : 0;
}

// Opens `fileName` read-only and hands it to `read`; false, without calling
// it, when the file cannot be opened as a regular file.
template <class Read>
bool withFile(const std::string& fileName, Read&& read) {
    FileSource file(fileName);
    return file.isOpen() && read(static_cast<ByteSource&>(file));
}

class TMediaReader {
  public:
    virtual ~TMediaReader() = default;

    // Back to the unread state.
    virtual void reset() = 0;
    // Resets, then reads. What false means is the reader's own (a source too
    // short for its header, or a read that failed).
    virtual bool ReadFromSource(ByteSource& src) = 0;
    // Resets, opens the file and reads it (ReadFromSourceCached). False when
    // the file cannot be opened, else what the reading returns.
    bool ReadFromFile(const std::string& fileName);
    // ReadFromSource over an opened file, through the reader's edge cache
    // when it has one.
    bool ReadFromSourceCached(ByteSource& file);

    virtual TTagFields tagFields() const { return {}; }

  protected:
    // Bytes kept from the start and the end of a file while it is read; 0 and
    // 0 read the file directly.
    struct EdgeCache {
        std::size_t head = 0;
        std::size_t tail = 0;
    };
    TMediaReader() = default;
    explicit TMediaReader(EdgeCache cache) : m_cache(cache) {}
    TMediaReader(const TMediaReader&) = default;
    TMediaReader(TMediaReader&&) = default;
    TMediaReader& operator=(const TMediaReader&) = default;
    TMediaReader& operator=(TMediaReader&&) = default;

  private:
    EdgeCache m_cache{};
};

class TStreamHeaderReader : public TMediaReader {
  public:
    // The header holds usable audio data (each format has its own test).
    virtual bool valid() const = 0;
    virtual TAudioProperties audioProperties() const = 0;

  protected:
    using TMediaReader::TMediaReader;
};

}  // namespace mediainfo
