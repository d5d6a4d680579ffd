#include "mediainfo/TagText.h"

#include "platform/text/Text.h"

namespace mediainfo {

namespace {

// Length of the UTF-8 sequence a lead byte starts; 0 for a byte that cannot
// start a multi-byte sequence.
std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// True, with `out` the bytes before it, when the bytes end in an incomplete
// UTF-8 sequence and the rest is valid UTF-8 holding a multi-byte character.
bool cutUtf8Tail(std::string_view bytes, std::string_view& out) {
    for (std::size_t tail = 1; tail <= 3 && tail < bytes.size(); ++tail) {
        const auto lead = static_cast<unsigned char>(bytes[bytes.size() - tail]);
        if ((lead & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        if (utf8SequenceLength(lead) <= tail) return false;
        const std::string_view head = bytes.substr(0, bytes.size() - tail);
        for (unsigned char c : head) {
            if (c >= 0x80) {
                if (!qtext::isValidUtf8(head)) return false;
                out = head;
                return true;
            }
        }
        return false;
    }
    return false;
}

}  // namespace

std::string fieldText(std::string_view bytes) {
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    if (qtext::isValidUtf8(bytes)) return std::string(bytes);
    std::string_view head;
    if (cutUtf8Tail(bytes, head)) return std::string(head);
    // A GBK lead byte (0x81-0xFE) whose trail byte was cut off.
    const auto last = static_cast<unsigned char>(bytes.back());
    if (last >= 0x81 && last <= 0xFE && !qtext::gbkToUtf8Strict(bytes)) {
        if (auto text = qtext::gbkToUtf8Strict(bytes.substr(0, bytes.size() - 1))) return *text;
    }
    return qtext::toUtf8(bytes);
}

std::string firstChars(std::string_view utf8, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t chars = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && chars++ == count) break;
    }
    return std::string(utf8.substr(0, i));
}

long digitsValue(std::string_view field) {
    if (field.empty() || field.size() > 9) return -1;  // 9 digits always fit
    long value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace mediainfo
