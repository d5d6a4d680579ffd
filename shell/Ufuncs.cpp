#include "shell/Ufuncs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "platform/text/Text.h"

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One part of a position: spaces, an optional sign, decimal digits, nothing
// else. Anything else, or a value that does not fit an int, is 0.
int parseInteger(std::string_view part) {
    size_t i = 0;
    while (i < part.size() && (part[i] == ' ' || part[i] == '\t')) ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) negative = part[i++] == '-';
    if (i == part.size()) return 0;
    long long value = 0;
    for (; i < part.size(); ++i) {
        if (!isDigit(part[i])) return 0;
        value = value * 10 + (part[i] - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return 0;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(value);
}

bool hasUtf16Start(std::string_view text) {
    return startsWith(text, "\xFF\xFE") || startsWith(text, "\xFE\xFF") ||
           startsWith(text, std::string_view("<\0", 2)) || startsWith(text, std::string_view("\0<", 2));
}

// Copies text[i..] up to and including `end` (or to the end of the text).
size_t copyThrough(std::string_view text, size_t i, std::string_view end, std::string& out) {
    const size_t at = text.find(end, i);
    const size_t stop = at == std::string_view::npos ? text.size() : at + end.size();
    out.append(text.substr(i, stop - i));
    return stop;
}

// Copies a <!...> declaration (a document type may hold an internal subset
// in brackets and quoted literals).
size_t copyDeclaration(std::string_view text, size_t i, std::string& out) {
    const size_t start = i;
    int depth = 0;
    char quote = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth > 0) --depth;
        } else if (c == '>' && depth == 0) {
            ++i;
            break;
        }
    }
    out.append(text.substr(start, i - start));
    return i;
}

bool endsUnquotedValue(std::string_view text, size_t i) {
    const char c = text[i];
    return isXmlSpace(c) || c == '>' || (c == '/' && i + 1 < text.size() && text[i + 1] == '>');
}

// Copies one element tag starting at '<', quoting bare numeric values.
size_t copyTag(std::string_view text, size_t i, std::string& out) {
    out += text[i++];
    while (i < text.size()) {
        const char c = text[i];
        if (c == '>') {
            out += c;
            return i + 1;
        }
        if (c == '"' || c == '\'') {
            const size_t close = text.find(c, i + 1);
            const size_t stop = close == std::string_view::npos ? text.size() : close + 1;
            out.append(text.substr(i, stop - i));
            i = stop;
            continue;
        }
        out += c;
        ++i;
        if (c != '=') continue;
        while (i < text.size() && isXmlSpace(text[i])) out += text[i++];
        if (i >= text.size() || !isDigit(text[i])) continue;
        out += '"';
        for (; i < text.size() && !endsUnquotedValue(text, i); ++i) {
            if (text[i] == '"') {
                out += "&quot;";
            } else if (text[i] == '<') {
                out += "&lt;";
            } else {
                out += text[i];
            }
        }
        out += '"';
    }
    return i;
}

bool isNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || u >= 0x80;
}

// Length of the UTF-8 character starting at s[i] (1 for a stray byte).
size_t charLength(std::string_view s, size_t i) {
    size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    return n;
}

char foldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Wildcard match: '*' any run, '?' one character, ASCII case ignored.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += charLength(name, n);
        } else if (p < pattern.size() && foldAscii(pattern[p]) == foldAscii(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += charLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

int ClampSkinSize(std::int64_t size) {
    return int(std::clamp<std::int64_t>(size, 0, kMaxSkinExtent));
}

TRect ParsePosition(std::string_view text) {
    int values[4] = {0, 0, 0, 0};
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t comma = text.find(',', start);
        values[k] =
            parseInteger(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return TRect{values[0], values[1], values[2], values[3]};
}

std::optional<TSkinColor> ParseColor(std::string_view text) {
    if (text.size() < 7) return std::nullopt;
    int channel[3];
    for (int k = 0; k < 3; ++k) {
        const int hi = hexValue(text[1 + 2 * k]);
        const int lo = hexValue(text[2 + 2 * k]);
        if (hi < 0 || lo < 0) return std::nullopt;
        channel[k] = hi * 16 + lo;
    }
    return TSkinColor{static_cast<std::uint8_t>(channel[0]), static_cast<std::uint8_t>(channel[1]),
                      static_cast<std::uint8_t>(channel[2])};
}

unsigned ParseAlign(std::string_view text) {
    unsigned anchors = 0;
    if (text.find("left") != std::string_view::npos) anchors |= akLeft;
    if (text.find("top") != std::string_view::npos) anchors |= akTop;
    if (text.find("right") != std::string_view::npos) anchors |= akRight;
    if (text.find("bottom") != std::string_view::npos) anchors |= akBottom;
    return anchors;
}

std::string EnsureXmlDeclaration(std::string_view text) {
    static constexpr std::string_view kDeclaration =
        "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"yes\" ?>\r\n";
    if (startsWith(text, "\xEF\xBB\xBF") || hasUtf16Start(text)) return std::string(text);
    if (text.find("encoding=") != std::string_view::npos) return std::string(text);

    size_t i = 0;
    while (i < text.size() && isXmlSpace(text[i])) ++i;
    const std::string_view rest = text.substr(i);
    if (!startsWith(rest, "<?xml") || rest.size() < 6 || !(isXmlSpace(rest[5]) || rest[5] == '?')) {
        std::string out(kDeclaration);
        out.append(text);
        return out;
    }
    // A declaration of its own without an encoding: insert ours after the
    // version, where XML wants it, instead of adding a second declaration.
    const size_t end = rest.find("?>");
    if (end == std::string_view::npos) return std::string(text);  // not a declaration; the parser says so
    const std::string_view decl = rest.substr(0, end);
    if (decl.find("encoding") != std::string_view::npos) return std::string(text);
    size_t insertAt = i + end;
    const size_t version = decl.find("version");
    if (version != std::string_view::npos) {
        size_t p = version + 7;
        while (p < decl.size() && (isXmlSpace(decl[p]) || decl[p] == '=')) ++p;
        if (p < decl.size() && (decl[p] == '"' || decl[p] == '\'')) {
            const size_t close = decl.find(decl[p], p + 1);
            if (close != std::string_view::npos) insertAt = i + close + 1;
        }
    }
    std::string out(text.substr(0, insertAt));
    out += " encoding=\"GB2312\"";
    out.append(text.substr(insertAt));
    return out;
}

std::string QuoteBareNumbers(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '<') {
            out += text[i++];
            continue;
        }
        const std::string_view rest = text.substr(i);
        if (startsWith(rest, "<!--")) {
            i = copyThrough(text, i, "-->", out);
        } else if (startsWith(rest, "<![CDATA[")) {
            i = copyThrough(text, i, "]]>", out);
        } else if (startsWith(rest, "<?")) {
            i = copyThrough(text, i, "?>", out);
        } else if (startsWith(rest, "<!")) {
            i = copyDeclaration(text, i, out);
        } else if (rest.size() > 1 && isNameStart(rest[1])) {
            i = copyTag(text, i, out);
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string RemoveSpacesBeforeQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '"') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
        }
        out += c;
    }
    return out;
}

std::string PrepareSkinXmlText(std::string_view text, bool removeSpacesBeforeQuotes) {
    std::string utf8;
    if (hasUtf16Start(text)) {
        const bool bigEndian = text[0] == '\xFE' || text[0] == '\0';
        const bool bom = text[0] == '\xFF' || text[0] == '\xFE';
        utf8 = "\xEF\xBB\xBF" + qtext::utf16ToUtf8(text.substr(bom ? 2 : 0), bigEndian);
        text = utf8;
    }
    if (!removeSpacesBeforeQuotes) return EnsureXmlDeclaration(QuoteBareNumbers(text));
    return EnsureXmlDeclaration(QuoteBareNumbers(RemoveSpacesBeforeQuotes(text)));
}

int ListFiles(const std::string& wildcardPath, std::vector<std::string>& names) {
    names.clear();
    const size_t slash = wildcardPath.rfind('/');
    const std::string folder = slash == std::string::npos
                                   ? std::string(".")
                                   : (slash == 0 ? std::string("/") : wildcardPath.substr(0, slash));
    const std::string pattern = slash == std::string::npos ? wildcardPath : wildcardPath.substr(slash + 1);
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return 0;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (wildcardMatch(pattern, name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return static_cast<int>(names.size());
}

std::string FormatDuration(std::int64_t milliseconds) {
    if (milliseconds < 0) milliseconds = 0;
    const std::int64_t seconds = milliseconds / 1000;
    char text[16];
    if (milliseconds < 3600 * 1000) {
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(seconds / 60),
                      static_cast<int>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
                      static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    }
    return text;
}
