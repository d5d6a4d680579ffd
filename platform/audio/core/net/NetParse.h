// The byte-level parts of reading a network stream, kept free of sockets and
// threads so they can be tested and fuzzed on plain bytes: the response's
// header block, the ICY metadata interleaved with the audio, and the
// playlist files (.pls, .m3u) that radio links often point at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qaudio::net {

// A response header block larger than this is refused: real servers send a
// few hundred bytes, and a server that never ends its headers must not make
// the library collect them without bound.
inline constexpr size_t kMaxHeaderBytes = 16 * 1024;
inline constexpr size_t kMaxHeaderLines = 128;
// An ICY metadata block is one length byte L followed by 16 * L bytes, so it
// can never exceed 255 * 16 bytes.
inline constexpr size_t kMaxMetaBytes = 255 * 16;
// Intervals above this are not what any server sends; such a response is
// treated as carrying no metadata rather than as 1 GB of audio per block.
inline constexpr uint32_t kMaxMetaInterval = 1 << 20;
// A playlist file is a few lines; more than this is not one.
inline constexpr size_t kMaxPlaylistBytes = 64 * 1024;

struct ResponseHead {
    bool icy = false;  // the status line was "ICY 200 OK" (a Shoutcast server)
    int status = 0;
    std::vector<std::string> lines;  // the status line first, then the headers, as received
    std::optional<uint64_t> contentLength;
    uint32_t metaInterval = 0;  // icy-metaint: audio bytes between metadata blocks; 0 none
    uint32_t bitrateKbps = 0;   // icy-br, ice-bitrate or ice-audio-info's bitrate; 0 unknown
    std::string contentType;    // lower case, without parameters
    // An internet radio: an ICY status line or any icy-/ice- header.
    bool radio = false;
};

// Collects one response's header lines. Redirects make a server send several
// blocks; a new status line starts the head afresh.
class HeadParser {
  public:
    enum class Step { More, Done, Bad };
    // One line without its CR LF; an empty line ends the block.
    Step addLine(std::string_view line);
    const ResponseHead& head() const { return m_head; }

  private:
    ResponseHead m_head;
    size_t m_bytes = 0;
};

// Splits a body with ICY metadata into audio and metadata texts. Every
// `interval` audio bytes a length byte L follows, then 16 * L bytes of text
// padded with NULs; L = 0 means "no change".
class IcyDemuxer {
  public:
    using AudioSink = std::function<void(std::string_view)>;
    using MetaSink = std::function<void(std::string_view)>;
    explicit IcyDemuxer(uint32_t interval) : m_interval(interval), m_left(interval) {}
    // Feeds received bytes in any split; audio runs go to `audio` in order,
    // each complete non-empty metadata text (up to its first NUL) to `meta`.
    void feed(std::string_view bytes, const AudioSink& audio, const MetaSink& meta);

  private:
    const uint32_t m_interval;
    uint32_t m_left;        // audio bytes before the next length byte
    size_t m_metaLeft = 0;  // metadata bytes still to come
    bool m_inMeta = false;
    std::string m_meta;
};

// A series: each string ended by a NUL, the whole ended by an empty string.
std::string series(const std::vector<std::string>& items);

// The URLs a .pls or .m3u file lists, in order (http:// and https:// only).
std::vector<std::string> parsePlaylist(std::string_view text);
// Whether a URL's path or a content type names a playlist file.
bool isPlaylistUrl(std::string_view url);
bool isPlaylistType(std::string_view contentType);

}  // namespace qaudio::net
