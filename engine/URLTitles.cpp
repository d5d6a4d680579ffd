#include "engine/URLTitles.h"

#include <cstring>

#include "platform/text/Text.h"

std::string TitleFromURL(const std::string& url) {
    // Only the last "/" counts: one that leaves too short a name must not make
    // an earlier one (of "http://") give "host/x" for ".../x.mp3".
    const size_t slash = url.rfind('/');
    const size_t pos = slash == std::string::npos ? 0 : slash + 1;  // 1-based
    if (pos < 6 || pos + 6 > url.size()) return {};
    const std::string name = url.substr(pos);
    return qtext::toUtf8(name.substr(0, name.size() - 4));
}

std::optional<std::string> QuotedMetaValue(std::string_view text, std::string_view key) {
    const size_t p = text.find(key);
    if (p == std::string_view::npos) return std::nullopt;
    const size_t start = p + key.size() + 1;  // after the opening quote
    const size_t semi = text.find(';');
    size_t end;
    if (semi == std::string_view::npos) {
        end = text.empty() ? 0 : text.size() - 1;  // the closing quote is the last character
    } else {
        // Before the ";" and, when there is one, the quote that closes the value.
        end = (semi > 0 && text[semi - 1] == '\'') ? semi - 1 : semi;
    }
    if (end <= start || start > text.size()) return std::string();
    return std::string(text.substr(start, end - start));
}

std::vector<std::string_view> SeriesEntries(const char* series) {
    std::vector<std::string_view> out;
    if (!series) return out;
    size_t at = 0;
    while (at < kMaxSeriesBytes && series[at] != '\0') {
        const size_t len = strnlen(series + at, kMaxSeriesBytes - at);
        out.emplace_back(series + at, len);
        at += len + 1;
    }
    return out;
}

std::string StreamTitleText(std::string_view bytes) {
    return qtext::cutToBytes(qtext::toUtf8(bytes), kMaxStreamTitleBytes);
}

std::string MetaTitle(const char* text, std::string_view key) {
    if (!text) return {};
    const std::string_view first(text, strnlen(text, kMaxSeriesBytes));
    if (const auto value = QuotedMetaValue(first, key)) return StreamTitleText(*value);
    for (std::string_view entry : SeriesEntries(text)) {
        if (qtext::asciiUpper(entry).find("TITLE=") != std::string::npos)
            return StreamTitleText(entry.size() > 6 ? entry.substr(6) : std::string_view());
    }
    return {};
}

uint32_t NumberAfter(std::string_view text, size_t skip) {
    if (skip >= text.size()) return 0;
    text.remove_prefix(skip);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        v = v * 10 + uint64_t(c - '0');
        if (v > UINT32_MAX) return 0;
    }
    return uint32_t(v);
}

std::optional<std::string_view> CommentValue(std::string_view entry, std::string_view key) {
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos || !qtext::equalsIgnoreAsciiCase(entry.substr(0, eq), key))
        return std::nullopt;
    return entry.substr(eq + 1);
}
