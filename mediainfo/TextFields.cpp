#include "mediainfo/TextFields.h"

namespace mediainfo {

std::optional<uint32_t> leadingNumber(std::string_view text, uint32_t max) {
    text = text.substr(0, text.find('/'));
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace mediainfo
