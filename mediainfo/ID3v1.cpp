#include "mediainfo/ID3v1.h"

#include <algorithm>

#include "mediainfo/Genres.h"
#include "mediainfo/TagText.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

// Values of this many characters or more do not fit a 30-byte ID3v1 field;
// the setters keep them as the long form.
constexpr std::size_t kLongFormChars = 31;
constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr std::string_view kLyricsEnd = "LYRICS200";
// A Lyrics3 field header: 3-character ID and 5-digit length.
constexpr std::size_t kFieldHeaderSize = 8;

// The fields of a 128-byte ID3v1 tag (ID3v1.0 / ID3v1.1 layout), as text.
struct ID3v1Fields {
    uint8_t version = 1;
    std::string title, artist, album, year, comment;
    uint8_t track = 0;
    uint8_t genreID = TID3v1::kNoGenre;
};

// A fixed-size field: up to its first zero byte, UTF-8, without trailing
// spaces and control characters.
std::string fixedField(std::string_view tag, std::size_t offset, std::size_t size) {
    std::string text = fieldText(tag.substr(offset, size));
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.pop_back();
    return text;
}

// `tag` holds 128 bytes starting with "TAG".
ID3v1Fields parseTag(std::string_view tag) {
    ID3v1Fields f;
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(tag[i]); };
    // ID3v1.1 keeps the track in the last comment byte, after a zero byte
    // (some writers put a space there instead).
    const bool v11 = (byte(125) == 0 && byte(126) != 0) || (byte(125) == 0x20 && byte(126) != 0x20);
    f.version = v11 ? 2 : 1;
    f.title = fixedField(tag, 3, 30);
    f.artist = fixedField(tag, 33, 30);
    f.album = fixedField(tag, 63, 30);
    f.year = fixedField(tag, 93, 4);
    f.comment = fixedField(tag, 97, v11 ? 28 : 30);
    f.track = v11 ? byte(126) : 0;
    f.genreID = byte(127);
    return f;
}

std::string trimTrailing(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20) value.remove_suffix(1);
    return std::string(value);
}

// Lyrics: trimmed, bare CR line ends made CR LF (CR LF stays CR LF).
std::string normaliseLyrics(std::string_view value) {
    const std::string trimmed = qtext::trimControl(value);
    std::string out;
    out.reserve(trimmed.size() + trimmed.size() / 8);
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        out += trimmed[i];
        if (trimmed[i] == '\r') {
            out += '\n';
            if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
        }
    }
    return out;
}

}  // namespace

void TID3v1::reset() {
    *this = TID3v1();
}

bool TID3v1::ReadFromSource(ByteSource& source) {
    reset();
    return read(source, true);
}

bool TID3v1::read(const std::string& fileName, bool details) {
    return withFile(fileName, [&](ByteSource& source) { return read(source, details); });
}

TTagFields TID3v1::tagFields() const {
    TTagFields t;
    t.title = title();
    t.artist = artist();
    t.album = album();
    t.year = year();
    t.genre = std::string(genreName());
    t.comment = comment();
    t.track = m_track;
    t.genreID = m_genreID;
    return t;
}

bool TID3v1::read(ByteSource& source, bool details) {
    const uint64_t fileSize = source.size();
    if (fileSize < static_cast<uint64_t>(kTagSize)) return false;  // the last 128 bytes cannot be read
    const std::string tag = source.readString(fileSize - kTagSize, kTagSize);
    if (tag.size() != static_cast<std::size_t>(kTagSize)) return false;
    if (tag.compare(0, 3, "TAG") == 0) {
        m_exists = true;
        if (details) readTag(tag);
    }
    readLyrics3(source, details);
    return true;
}

void TID3v1::readTag(const std::string& tag) {
    const ID3v1Fields f = parseTag(tag);
    m_version = f.version;
    setTitle(f.title);
    setArtist(f.artist);
    setAlbum(f.album);
    setYear(f.year);
    setComment(f.comment);
    m_track = f.track;
    m_genreID = f.genreID;
}

void TID3v1::readLyrics3(ByteSource& source, bool details) {
    const uint64_t fileSize = source.size();
    const uint64_t footerDistance = kLyrics3FooterSize + (m_exists ? kTagSize : 0);
    if (fileSize < footerDistance) return;
    const std::string footer = source.readString(fileSize - footerDistance, kLyrics3FooterSize);
    if (footer.size() != static_cast<std::size_t>(kLyrics3FooterSize) ||
        footer.compare(6, 9, kLyricsEnd) != 0)
        return;
    const long size = digitsValue(std::string_view(footer).substr(0, 6));
    if (size <= 0) return;
    // The block must start with its marker; otherwise the footer is a stray
    // and its bytes are audio.
    const uint64_t blockDistance = static_cast<uint64_t>(size) + footerDistance;
    if (blockDistance > fileSize ||
        source.readString(fileSize - blockDistance, kLyricsBegin.size()) != kLyricsBegin) {
        m_lyrics3Present = false;
        m_lyrics3Size = 0;
        return;
    }
    m_lyrics3Present = true;
    m_lyrics3Size = static_cast<int32_t>(size);
    // The size is at most 999999 (six digits), so the block is read whole.
    if (details)
        readLyrics3Fields(source.readString(fileSize - blockDistance, static_cast<std::size_t>(size)));
}

void TID3v1::readLyrics3Fields(const std::string& block) {
    std::string_view rest(block);
    rest.remove_prefix(std::min(rest.size(), kLyricsBegin.size()));
    while (rest.size() >= kFieldHeaderSize) {
        const std::string_view id = rest.substr(0, 3);
        const long length = digitsValue(rest.substr(3, 5));
        if (length < 0) break;
        rest.remove_prefix(kFieldHeaderSize);
        // A value running past the block keeps what the block holds.
        const std::string_view raw = rest.substr(0, static_cast<std::size_t>(length));
        rest.remove_prefix(raw.size());
        if (id == "IND") continue;
        const std::string value = qtext::toUtf8(raw);
        if (id == "LYR") {
            m_lyrics = normaliseLyrics(value);
        } else if (id == "INF") {
            setComment(qtext::trimControl(value));
        } else if (id == "AUT") {
            m_author = qtext::trimControl(value);
        } else if (id == "EAL") {
            setAlbum(qtext::trimControl(value));
        } else if (id == "EAR") {
            setArtist(qtext::trimControl(value));
        } else if (id == "ETT") {
            setTitle(qtext::trimControl(value));
        } else if (id == "IMG") {
            m_image = value;
        } else {
            break;  // an unknown field: its layout cannot be trusted
        }
    }
}

std::string_view TID3v1::genreName() const {
    return mediainfo::genreName(m_genreID);
}

int32_t TID3v1::lyrics3TotalSize() const {
    return m_lyrics3Size > 0 ? m_lyrics3Size + kLyrics3FooterSize : 0;
}

int32_t TID3v1::totalSize() const {
    return lyrics3TotalSize() + (m_exists ? kTagSize : 0);
}

void TID3v1::setLong(std::string& shortForm, std::string& longForm, std::string_view value) {
    shortForm = trimTrailing(value);
    if (qtext::countChars(shortForm) >= kLongFormChars) {
        longForm = shortForm;
    } else {
        longForm.clear();
    }
}

void TID3v1::setTitle(std::string_view value) {
    setLong(m_title, m_longTitle, value);
}
void TID3v1::setArtist(std::string_view value) {
    setLong(m_artist, m_longArtist, value);
}
void TID3v1::setAlbum(std::string_view value) {
    setLong(m_album, m_longAlbum, value);
}
void TID3v1::setComment(std::string_view value) {
    setLong(m_comment, m_longComment, value);
}

void TID3v1::setYear(std::string_view value) {
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    m_year = firstChars(value, 4);
}

bool decodeID3v1(std::string_view buffer, TMP3TagInfo& info) {
    if (buffer.size() < static_cast<std::size_t>(TID3v1::kTagSize) || buffer.substr(0, 3) != "TAG")
        return false;
    const ID3v1Fields f = parseTag(buffer.substr(0, TID3v1::kTagSize));
    info.title = f.title;
    info.artist = f.artist;
    info.album = f.album;
    info.year = f.year;
    info.comment = f.comment;
    info.track = f.track;
    const std::string_view genre = genreName(f.genreID);
    info.genre = genre.empty() ? "Unknown" : std::string(genre);
    return true;
}

}  // namespace mediainfo
