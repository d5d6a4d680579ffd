#include "mediainfo/OggVorbis.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "mediainfo/HeaderBytes.h"
#include "mediainfo/SourceWindow.h"
#include "mediainfo/TextFields.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

// Ogg page header (RFC 3533 §6): 27 fixed bytes, then up to 255 lacing values.
constexpr size_t kPageHeader = 27;
constexpr size_t kPageHeaderMax = kPageHeader + 255;
constexpr size_t kSegmentCountAt = 26;
// The Vorbis identification header packet is 30 bytes long.
constexpr size_t kIdentHeader = 30;
// Comment values are read into a bounded area; longer ones are cut.
constexpr size_t kMaxCommentBytes = 5000;
// A comment list longer than this is malformed (each entry needs 4 bytes, so
// the file size bounds the walk too; this keeps a huge junk count cheap).
constexpr uint32_t kMaxComments = 65536;
// The last page is looked for in overlapping blocks near the end of the file.
constexpr int kTailSteps = 50;
constexpr int64_t kTailStride = 4991;
constexpr size_t kTailBlock = 5001;

enum Slot {
    kTitle,
    kArtist,
    kAlbum,
    kTrack,
    kDate,
    kGenre,
    kComment,
    kPerformer,
    kDescription,
    kComposer,
    kLyrics,
    kUrl,
    kCopyright,
    kSlotCount
};
constexpr std::array<std::string_view, kSlotCount> kNames = {
    "TITLE",     "ARTIST",      "ALBUM",    "TRACKNUMBER", "DATE", "GENRE",    "COMMENT",
    "PERFORMER", "DESCRIPTION", "COMPOSER", "LYRICS",      "URL",  "COPYRIGHT"};

int64_t leadingId3v2Size(ByteSource& src, int64_t fileSize) {
    using namespace bytes;
    const std::string h = src.readString(0, 10);
    if (!matches(h, 0, "ID3")) return 0;
    int64_t size = static_cast<int64_t>(synchsafe32(h, 6)) + 10;
    if (at(h, 5) & 0x10) size += 10;  // footer present
    return size > fileSize ? 0 : size;
}

// Low 32 bits of the granule position of the last page, 0 when none is found.
int32_t lastGranule(ByteSource& src, int64_t fileSize) {
    std::string block;
    for (int i = 1; i <= kTailSteps; ++i) {
        const int64_t start = fileSize - kTailStride * i - 10;
        const int64_t from = std::max<int64_t>(start, 0);
        const int64_t end = start + static_cast<int64_t>(kTailBlock);
        if (end <= 0) break;
        block = src.readString(static_cast<uint64_t>(from), static_cast<size_t>(end - from));
        // Positions are counted from `start`; bytes before the file are absent.
        const int64_t shift = from - start;
        for (int64_t q = kTailStride; q >= shift; --q) {
            const size_t at = static_cast<size_t>(q - shift);
            if (bytes::matches(block, at, "OggS")) {
                const std::string page = src.readString(static_cast<uint64_t>(start + q), kPageHeader);
                return static_cast<int32_t>(bytes::le32(page, 6));
            }
        }
        if (start <= 0) break;
    }
    return 0;
}

}  // namespace

bool TOggVorbis::ReadFromSource(ByteSource& src) {
    using namespace bytes;
    reset();
    const int64_t fileSize = static_cast<int64_t>(src.size());
    const int64_t id3 = leadingId3v2Size(src, fileSize);

    SourceWindow in(src, 4096, 16 * 1024);
    const std::string first(in.get(id3, kPageHeaderMax));
    if (!matches(first, 0, "OggS")) return false;
    const uint64_t identAt = id3 + kPageHeader + at(first, kSegmentCountAt);
    const std::string ident(in.get(identAt, kIdentHeader));
    if (ident.size() < kIdentHeader || !matches(ident, 0, "\x01vorbis")) return false;

    m_fileSize = fileSize;
    m_id3v2Size = id3;
    m_streamVersion = at(first, 4);
    m_serialNumber = static_cast<int32_t>(le32(first, 14));
    m_channels = at(ident, 11);
    m_sampleRate = static_cast<int32_t>(le32(ident, 12));
    const int32_t nominal = static_cast<int32_t>(le32(ident, 20));
    m_nominalBitRate = static_cast<uint16_t>(std::clamp(nominal / 1000, 0, 0xFFFF));

    // The comment header is taken to start the second page.
    const uint64_t secondAt = identAt + kIdentHeader;
    const std::string second(in.get(secondAt, kPageHeaderMax));
    const uint64_t commentAt = secondAt + kPageHeader + at(second, kSegmentCountAt);
    std::array<std::string, kSlotCount> known;
    if (matches(in.get(commentAt, 7), 0, "\x03vorbis")) {
        uint64_t pos = commentAt + 7;
        uint64_t entries = 1;  // the vendor, then the stated count
        for (uint64_t n = 0; n < entries; ++n) {
            const std::string_view len = in.get(pos, 4);
            if (len.size() < 4) break;
            const uint32_t length = le32(len, 0);
            const size_t want = std::min<size_t>(length, kMaxCommentBytes);
            const std::string entry = qtext::trimControl(in.get(pos + 4, want));
            pos += 4 + static_cast<uint64_t>(length);
            const size_t eq = entry.find('=');
            if (eq == std::string::npos) {
                if (m_vendor.empty()) m_vendor = qtext::toUtf8(entry);
            } else {
                const std::string name = qtext::asciiUpper(std::string_view(entry).substr(0, eq));
                const std::string value =
                    qtext::toUtf8(qtext::trimControl(std::string_view(entry).substr(eq + 1)));
                const auto it = std::find(kNames.begin(), kNames.end(), name);
                if (it != kNames.end()) {
                    known[static_cast<size_t>(it - kNames.begin())] = value;
                } else {
                    if (!m_otherComments.empty()) m_otherComments.push_back('\0');
                    m_otherComments += qtext::toUtf8(name) + "=" + value;
                }
            }
            if (n == 0) {
                const std::string_view count = in.get(pos, 4);
                if (count.size() < 4) break;
                entries += std::min(le32(count, 0), kMaxComments);
                pos += 4;
            }
        }
    }

    m_samples = lastGranule(src, fileSize);

    m_title = known[kTitle];
    m_artist = known[kArtist].empty() ? known[kPerformer] : known[kArtist];
    m_album = known[kAlbum];
    m_track = static_cast<uint8_t>(leadingNumber(known[kTrack], 255).value_or(0));
    m_date = known[kDate];
    m_genre = known[kGenre];
    m_comment = known[kComment].empty() ? known[kDescription] : known[kComment];
    m_composer = known[kComposer];
    m_lyrics = known[kLyrics];
    m_link = known[kUrl];
    m_rightsNotice = known[kCopyright];
    return true;
}

double TOggVorbis::duration() const {
    if (m_samples > 0 && m_sampleRate > 0) return static_cast<double>(m_samples) / m_sampleRate;
    if (m_nominalBitRate > 0 && m_channels > 0)
        return static_cast<double>(m_fileSize - m_id3v2Size) / m_nominalBitRate / m_channels / 125.0 * 2.0;
    return 0.0;
}

uint16_t TOggVorbis::bitRate() const {
    const double d = duration();
    if (d <= 0) return 0;
    const double rate = std::round(static_cast<double>(m_fileSize - m_id3v2Size) / d / 125.0);
    return static_cast<uint16_t>(std::clamp(rate, 0.0, 65535.0));
}

TAudioProperties TOggVorbis::audioProperties() const {
    TAudioProperties p;
    p.fileSize = byteCount(m_fileSize);
    p.sampleRate = clampToU32(m_sampleRate);
    p.bitRate = bitRate();
    p.duration = millisecondsOf(duration());
    p.channels = m_channels;
    return p;
}

TTagFields TOggVorbis::tagFields() const {
    TTagFields t;
    t.title = m_title;
    t.artist = m_artist;
    t.album = m_album;
    t.year = m_date;
    t.genre = m_genre;
    t.comment = m_comment;
    t.track = m_track;
    return t;
}

bool TOggVorbis::valid() const {
    return (m_channels == 1 || m_channels == 2 || m_channels == 6) && m_sampleRate >= 1 && duration() > 0.1 &&
           bitRate() != 0;
}

}  // namespace mediainfo
