#include "mediainfo/APETag.h"

#include <algorithm>

#include "mediainfo/TagText.h"
#include "mediainfo/TextFields.h"
#include "platform/text/Text.h"

namespace mediainfo {

namespace {

constexpr uint64_t kID3v1Size = 128;
// APEv2 item keys are 2 to 255 characters; a longer "name" is damage.
constexpr std::size_t kMaxNameBytes = 255;
// An item starts with its value size and its flags.
constexpr uint64_t kItemHeaderSize = 8;

uint32_t littleEndian(std::string_view b) {
    uint32_t v = 0;
    for (std::size_t i = b.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return v;
}

// The first kMaxValueBytes of a value; when those bytes are UTF-8 text the
// cut falls before a character, not inside it.
std::string cappedValue(std::string_view bytes) {
    if (bytes.size() <= TAPETag::kMaxValueBytes) return std::string(bytes);
    std::string cut = qtext::cutToBytes(bytes, TAPETag::kMaxValueBytes);
    if (qtext::isValidUtf8(cut)) return cut;
    return std::string(bytes.substr(0, TAPETag::kMaxValueBytes));
}

}  // namespace

void TAPETag::reset() {
    *this = TAPETag();
}

bool TAPETag::ReadFromSource(ByteSource& source) {
    reset();
    const uint64_t fileSize = source.size();
    uint64_t shift = 0;
    if (fileSize > kID3v1Size && source.readString(fileSize - kID3v1Size, 3) == "TAG") shift = kID3v1Size;
    if (fileSize <= shift + kFooterSize) return false;  // no room for a footer
    const uint64_t footerPos = fileSize - shift - kFooterSize;
    const std::string footer = source.readString(footerPos, kFooterSize);
    if (footer.size() != static_cast<std::size_t>(kFooterSize)) return false;
    if (footer.compare(0, 8, "APETAGEX") != 0) return true;

    const std::string_view f(footer);
    m_exists = true;
    m_version = static_cast<int32_t>(littleEndian(f.substr(8, 4)));
    const uint32_t tagSize = littleEndian(f.substr(12, 4));
    m_size = static_cast<int32_t>(tagSize);
    const uint32_t itemCount = littleEndian(f.substr(16, 4));

    // The items lie between the tag's start and its footer; a size that puts
    // the start before the file or after the footer leaves no items.
    if (tagSize < static_cast<uint32_t>(kFooterSize) || tagSize > fileSize - shift) return true;
    uint64_t pos = fileSize - shift - tagSize;
    const uint64_t end = footerPos;
    // Every item takes at least 9 bytes, so the loop ends within the tag
    // whatever the item count says.
    for (uint32_t i = 0; i < itemCount && pos + kItemHeaderSize < end; ++i) {
        const uint32_t valueSize = littleEndian(source.readString(pos, 4));
        pos += kItemHeaderSize;  // value size and item flags
        const std::string nameArea = source.readString(
            pos, static_cast<std::size_t>(std::min<uint64_t>(kMaxNameBytes + 1, end - pos)));
        const std::size_t zero = nameArea.find('\0');
        if (zero == std::string::npos) break;
        pos += zero + 1;
        // A value that runs into the footer keeps what lies before it and
        // ends the list.
        const uint64_t valueBytes = std::min<uint64_t>(valueSize, end - std::min(pos, end));
        const std::string value = source.readString(
            pos, static_cast<std::size_t>(std::min<uint64_t>(valueBytes, kMaxValueBytes + 3)));
        m_items.push_back({qtext::trimControl(std::string_view(nameArea).substr(0, zero)),
                           qtext::trimControl(cappedValue(value))});
        if (valueBytes < valueSize) break;
        pos += valueSize;
    }
    return true;
}

TTagFields TAPETag::tagFields() const {
    TTagFields t;
    t.title = qtext::toUtf8(value("Title"));
    t.artist = qtext::toUtf8(value("Artist"));
    t.album = qtext::toUtf8(value("Album"));
    t.year = qtext::toUtf8(value("Year"));
    t.genre = qtext::toUtf8(value("Genre"));
    t.comment = qtext::toUtf8(value("Comment"));
    t.track = static_cast<int32_t>(leadingNumber(value("Track"), 0x7FFFFFFF).value_or(0));
    return t;
}

std::string TAPETag::value(std::string_view name) const {
    for (const auto& item : m_items) {
        if (qtext::equalsIgnoreAsciiCase(item.name, name)) return item.value;
    }
    return {};
}

}  // namespace mediainfo
