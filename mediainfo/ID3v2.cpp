#include "mediainfo/ID3v2.h"

#include <algorithm>
#include <array>
#include <optional>

#include "mediainfo/TagText.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

// A network stream's tag is decoded with a smaller per-frame cap: its text
// fields are shown in a title line, and the buffer comes from the network.
constexpr uint32_t kMemoryMaxFrameData = 500;
constexpr uint64_t kHeaderSize = 10;
constexpr uint64_t kFooterSize = 10;
// An unsynchronised ID3v2.2/2.3 tag is undone as a whole in memory. Text frames
// come before cover pictures in the tags we meet; a tag larger than this is read
// up to here, so a damaged size cannot make us allocate hundreds of megabytes.
constexpr uint64_t kMaxUnsyncTagBytes = 16u << 20;
// Header flag 0x80 (ID3v2.3 §3.1, ID3v2.4 §3.1) and ID3v2.4 frame flag 0x02 (§4.1.2).
constexpr uint8_t kTagUnsync = 0x80;
constexpr uint8_t kFrameUnsync = 0x02;

// The frames that are read, with their ID3v2.3/2.4 and ID3v2.2 IDs.
enum Slot {
    kTitle,
    kArtist,
    kAlbum,
    kTrack,
    kYear,
    kGenre,
    kComment,
    kComposer,
    kEncoder,
    kRights,
    kLanguage,
    kLink,
    kRecordingTime,
    kOrigArtist,
    kContentGroup,
    kOrigAlbum,
    kSize,
    kLyrics,
    kSlotCount
};
constexpr std::array<std::array<std::string_view, 2>, kSlotCount> kFrameIds = {{
    {"TIT2", "TT2"},
    {"TPE1", "TP1"},
    {"TALB", "TAL"},
    {"TRCK", "TRK"},
    {"TYER", "TYE"},
    {"TCON", "TCO"},
    {"COMM", "COM"},
    {"TCOM", "TCM"},
    {"TENC", "TEN"},
    {"TCOP", "TCR"},
    {"TLAN", "TLA"},
    {"WXXX", "WXX"},
    {"TDRC", "TOR"},
    {"TOPE", "TOA"},
    {"TIT1", "TT1"},
    {"TOAL", "TOT"},
    {"TSIZ", "TSI"},
    {"USLT", "ULT"},
}};

struct Frame {
    uint8_t encoding = 0;
    std::string data;  // the frame's data after its encoding byte
};

struct Header {
    uint8_t version = 0;
    uint8_t flags = 0;
    uint64_t size = 0;  // total tag size, 0 when it would pass the end of the source
};

uint32_t bigEndian(std::string_view b) {
    uint32_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    return v;
}

// ID3v2.4 §6.2: 7 bits of every byte.
uint32_t synchsafe(std::string_view b) {
    uint32_t v = 0;
    for (unsigned char c : b) v = (v << 7) | (c & 0x7F);
    return v;
}

// The header of a tag starting with "ID3"; nullopt when the source holds
// fewer than 10 bytes or does not start with "ID3".
std::optional<Header> readHeader(ByteSource& source) {
    const std::string h = source.readString(0, kHeaderSize);
    if (h.size() != kHeaderSize || h.compare(0, 3, "ID3") != 0) return std::nullopt;
    Header header;
    header.version = static_cast<uint8_t>(h[3]);
    header.flags = static_cast<uint8_t>(h[5]);
    header.size =
        synchsafe(std::string_view(h).substr(6, 4)) + kHeaderSize + ((header.flags & 0x10) ? kFooterSize : 0);
    if (header.size > source.size()) header.size = 0;
    return header;
}

// Where the first frame starts: after the header and, in versions 3 and 4,
// after an extended header (ID3v2.3 §3.2: its size excludes its own 4 size
// bytes; ID3v2.4 §3.2: a synchsafe size of the whole extended header).
uint64_t firstFrame(ByteSource& source, const Header& header) {
    if (!(header.flags & 0x40) || header.version < 3) return kHeaderSize;
    const std::string sizeBytes = source.readString(kHeaderSize, 4);
    if (sizeBytes.size() != 4) return header.size;
    const uint64_t extSize = header.version == 3 ? 4 + uint64_t{bigEndian(sizeBytes)} : synchsafe(sizeBytes);
    return kHeaderSize + extSize;
}

// A frame whose data cannot be read as text: compressed or encrypted
// (ID3v2.3 §3.3.1 flags 0x80, 0x40; ID3v2.4 §4.1.2 flags 0x08, 0x04).
bool unreadable(uint8_t version, uint8_t formatFlags) {
    if (formatFlags & 0x80) return true;
    if (version == 3) return formatFlags & 0x40;
    if (version == 4) return formatFlags & 0x0C;
    return false;
}

// Undoes unsynchronisation (ID3v2.4 §6.1): every 0xFF 0x00 pair loses its 0x00.
std::string resynchronised(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == '\0') ++i;
    }
    return out;
}

std::array<std::optional<Frame>, kSlotCount> readFrames(ByteSource& source, const Header& header, uint32_t cap);

// An ID3v2.2/2.3 tag unsynchronised as a whole (frame headers and sizes included):
// its frames are read from the tag undone in memory.
std::array<std::optional<Frame>, kSlotCount> readUnsyncTag(ByteSource& source, const Header& header,
                                                           uint32_t cap) {
    const uint64_t end = std::min({header.size, source.size(), kMaxUnsyncTagBytes});
    const std::string raw = source.readString(0, static_cast<std::size_t>(end));
    const std::string tag = raw.substr(0, kHeaderSize) + resynchronised(std::string_view(raw).substr(kHeaderSize));
    MemorySource undone(tag);
    Header plain = header;
    plain.flags = static_cast<uint8_t>(header.flags & ~kTagUnsync);
    plain.size = tag.size();
    return readFrames(undone, plain, cap);
}

// Reads the frames of the table (a later frame with the same ID replaces an
// earlier one), each cut to `cap` bytes and to the end of the tag.
std::array<std::optional<Frame>, kSlotCount> readFrames(ByteSource& source, const Header& header,
                                                        uint32_t cap) {
    if (header.version < 4 && (header.flags & kTagUnsync)) return readUnsyncTag(source, header, cap);
    std::array<std::optional<Frame>, kSlotCount> frames;
    const bool v22 = header.version == 2;
    const uint64_t headerSize = v22 ? 6 : 10;
    const std::size_t idSize = v22 ? 3 : 4;
    const uint64_t end = std::min(header.size, source.size());
    // A frame header must lie whole inside the tag.
    for (uint64_t pos = firstFrame(source, header); pos + headerSize <= end;) {
        const std::string h = source.readString(pos, headerSize);
        if (h.size() != headerSize || h[0] < 'A' || h[0] > 'Z') break;  // padding or damage
        const std::string_view hv(h);
        const std::string_view id = hv.substr(0, idSize);
        const uint64_t frameSize = v22                   ? bigEndian(hv.substr(3, 3))
                                   : header.version == 4 ? synchsafe(hv.substr(4, 4))
                                                         : bigEndian(hv.substr(4, 4));
        const uint8_t formatFlags = v22 ? 0 : static_cast<uint8_t>(h[9]);
        const uint64_t dataPos = pos + headerSize;
        pos = dataPos + frameSize;  // always advances: headerSize > 0
        int slot = -1;
        for (int i = 0; i < kSlotCount; ++i) {
            if (kFrameIds[i][v22 ? 1 : 0] == id) {
                slot = i;
                break;
            }
        }
        if (slot < 0 || unreadable(header.version, formatFlags)) continue;
        const uint64_t inTag = end > dataPos ? end - dataPos : 0;
        std::string data =
            source.readString(dataPos, static_cast<std::size_t>(std::min<uint64_t>({frameSize, cap, inTag})));
        // ID3v2.4 §4.1.2 flag 0x01: a 4-byte data length precedes the data.
        if (header.version == 4 && (formatFlags & 0x01)) data.erase(0, std::min<std::size_t>(4, data.size()));
        // ID3v2.4 unsynchronises frame by frame; the header flag marks every frame.
        if (header.version == 4 && ((formatFlags & kFrameUnsync) || (header.flags & kTagUnsync)))
            data = resynchronised(data);
        Frame frame;
        if (!data.empty()) {
            frame.encoding = static_cast<uint8_t>(data[0]);
            frame.data = data.substr(1);
        }
        frames[slot] = std::move(frame);
    }
    return frames;
}

bool isUtf16(uint8_t encoding) {
    return encoding == 1 || encoding == 2;
}

// Text in a frame's encoding (ID3v2.4 §4.2): 0 ISO-8859-1, which our users'
// files fill with GBK, so by the one rule; 1 UTF-16 with a byte-order mark;
// 2 UTF-16BE; 3 UTF-8. Ends at the first terminator; leading and trailing
// spaces and control characters removed.
std::string decodeText(uint8_t encoding, std::string_view bytes) {
    std::string text;
    if (isUtf16(encoding)) {
        bool big = encoding == 2;
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) {
            big = false;
            bytes.remove_prefix(2);
        } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
                   static_cast<unsigned char>(bytes[1]) == 0xFF) {
            big = true;
            bytes.remove_prefix(2);
        }
        text = qtext::utf16ToUtf8(bytes, big);
    } else {
        text = fieldText(bytes);
    }
    text = qtext::trimControl(text);
    // A second byte-order mark (U+FEFF in the text itself) is not text.
    while (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = qtext::trimControl(std::string_view(text).substr(3));
    return text;
}

std::string frameText(const std::optional<Frame>& frame) {
    return frame ? decodeText(frame->encoding, frame->data) : std::string();
}

// The bytes after the first terminator of `bytes` (a zero byte, or two zero
// bytes at an even offset in UTF-16); all of them when there is none.
std::string_view afterTerminator(uint8_t encoding, std::string_view bytes) {
    if (isUtf16(encoding)) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\0' && bytes[i + 1] == '\0') return bytes.substr(i + 2);
        }
        return bytes;
    }
    const std::size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(zero + 1);
}

// COMM and USLT (ID3v2.4 §4.10, §4.8): language, description, text.
std::string commentText(const std::optional<Frame>& frame) {
    if (!frame) return {};
    std::string_view rest(frame->data);
    rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
    return decodeText(frame->encoding, afterTerminator(frame->encoding, rest));
}

// WXXX (ID3v2.4 §4.3.2): description in the frame's encoding, then the URL,
// which is always ISO-8859-1.
std::string linkText(const std::optional<Frame>& frame) {
    if (!frame) return {};
    return decodeText(0, afterTerminator(frame->encoding, frame->data));
}

// The number before the first "/" of TRCK; 0 when it is not a number that
// fits.
int16_t trackNumber(std::string_view text) {
    text = text.substr(0, text.find('/'));
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const long value = digitsValue(text);
    if (value < 0 || value > 32767) return 0;
    return static_cast<int16_t>(negative ? -value : value);
}

struct Fields {
    std::string title, artist, album, trackText, year, genre, comment;
    std::string composer, encoder, rightsNotice, language, link, firstReleaseArtist, lyrics, sizeText;
    int16_t track = 0;
};

std::string withFallback(const std::optional<Frame>& main, const std::optional<Frame>& fallback) {
    std::string text = frameText(main);
    return text.empty() ? frameText(fallback) : text;
}

Fields decodeFields(const std::array<std::optional<Frame>, kSlotCount>& f) {
    Fields out;
    out.title = withFallback(f[kTitle], f[kContentGroup]);
    out.artist = withFallback(f[kArtist], f[kOrigArtist]);
    out.album = withFallback(f[kAlbum], f[kOrigAlbum]);
    out.trackText = frameText(f[kTrack]);
    out.track = trackNumber(out.trackText);
    out.year = frameText(f[kYear]);
    if (out.year.empty()) out.year = firstChars(frameText(f[kRecordingTime]), 4);
    out.genre = frameText(f[kGenre]);
    // "(17)Rock" is a genre reference with its refinement: keep the words.
    if (const std::size_t close = out.genre.rfind(')'); close != std::string::npos)
        out.genre.erase(0, close + 1);
    out.comment = commentText(f[kComment]);
    out.lyrics = commentText(f[kLyrics]);
    out.link = linkText(f[kLink]);
    out.composer = frameText(f[kComposer]);
    out.encoder = frameText(f[kEncoder]);
    out.rightsNotice = frameText(f[kRights]);
    out.language = frameText(f[kLanguage]);
    out.firstReleaseArtist = frameText(f[kOrigArtist]);
    out.sizeText = frameText(f[kSize]);
    return out;
}

bool readable(const Header& header) {
    return header.version >= 2 && header.version <= 4 && header.size > 0;
}

}  // namespace

void TID3v2::reset() {
    *this = TID3v2();
}

TTagFields TID3v2::tagFields() const {
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

bool TID3v2::ReadFromSource(ByteSource& source) {
    reset();
    if (source.size() < kHeaderSize || source.readString(0, kHeaderSize).size() != kHeaderSize) return false;
    const std::optional<Header> header = readHeader(source);
    if (!header) return true;
    m_exists = true;
    m_version = header->version;
    m_size = static_cast<int32_t>(header->size);  // at most 2^28 + 19
    if (!readable(*header)) return true;
    Fields f = decodeFields(readFrames(source, *header, kMaxFrameData));
    m_title = std::move(f.title);
    m_artist = std::move(f.artist);
    m_album = std::move(f.album);
    m_track = f.track;
    m_trackText = std::move(f.trackText);
    m_year = std::move(f.year);
    m_genre = std::move(f.genre);
    m_comment = std::move(f.comment);
    m_composer = std::move(f.composer);
    m_encoder = std::move(f.encoder);
    m_rightsNotice = std::move(f.rightsNotice);
    m_language = std::move(f.language);
    m_link = std::move(f.link);
    m_firstReleaseArtist = std::move(f.firstReleaseArtist);
    m_lyrics = std::move(f.lyrics);
    m_sizeText = std::move(f.sizeText);
    return true;
}

bool decodeID3v2(std::string_view buffer, TMP3TagInfo& info) {
    MemorySource source(buffer);
    const std::optional<Header> header = readHeader(source);
    if (!header) return false;
    if (!readable(*header)) return true;
    Fields f = decodeFields(readFrames(source, *header, kMemoryMaxFrameData));
    info.title = std::move(f.title);
    info.artist = std::move(f.artist);
    info.album = std::move(f.album);
    info.year = std::move(f.year);
    info.comment = std::move(f.comment);
    info.track = f.track;
    info.genre = std::move(f.genre);
    return true;
}

}  // namespace mediainfo
