#include "platform/text/Text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace qtext {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvPtr = std::unique_ptr<void, IconvCloser>;

IconvPtr openIconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return IconvPtr(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// iconv descriptors are not thread-safe but cheap to keep: one pair per thread.
// A null descriptor (GBK missing from the C library) converts nothing, so every
// non-ASCII byte falls back to Latin-1.
struct Converters {
    IconvPtr fromGbk = openIconv("UTF-8", "GBK");
    IconvPtr toGbk = openIconv("GBK", "UTF-8");
};
Converters& converters() {
    thread_local Converters c;
    return c;
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Converts as much of `in` as iconv accepts, appending to `out`. Returns the
// number of input bytes consumed; stops at the first invalid or incomplete
// sequence.
std::size_t convertRun(void* handle, std::string_view in, std::string& out) {
    if (!handle) return 0;
    auto cd = static_cast<iconv_t>(handle);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[1024];
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - srcLeft;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// Length of the well-formed UTF-8 character at p (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when the bytes there are not one.
int utf8CharLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80) return 1;
    int len;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (end - p < len) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const int len = utf8CharLength(p, end);
        if (len == 0) return false;
        p += len;
    }
    return true;
}

std::string repairUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 16);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const int len = utf8CharLength(p, end);
        if (len == 0) {
            appendUtf8(out, *p++);  // not UTF-8: Latin-1
        } else {
            out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
            p += len;
        }
    }
    return out;
}

bool isMostlyUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    size_t multiByte = 0, invalid = 0;
    while (p < end) {
        const int len = utf8CharLength(p, end);
        if (len == 0) {
            ++invalid;
            ++p;
        } else {
            multiByte += len > 1;
            p += len;
        }
    }
    return multiByte > invalid;
}

std::string latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (char c : latin1) appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string gbkToUtf8(std::string_view gbk) {
    if (isAscii(gbk)) return std::string(gbk);
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    void* cd = converters().fromGbk.get();
    while (!gbk.empty()) {
        const std::size_t used = convertRun(cd, gbk, out);
        gbk.remove_prefix(used);
        if (gbk.empty()) break;
        appendUtf8(out, static_cast<unsigned char>(gbk.front()));  // not GBK: Latin-1
        gbk.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> gbkToUtf8Strict(std::string_view gbk) {
    if (isAscii(gbk)) return std::string(gbk);
    std::string out;
    if (convertRun(converters().fromGbk.get(), gbk, out) != gbk.size()) return std::nullopt;
    return out;
}

std::string toUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return gbkToUtf8(bytes);
}

std::string utf8ToGbk(std::string_view utf8In) {
    if (isAscii(utf8In)) return std::string(utf8In);
    std::string repaired;
    if (!isValidUtf8(utf8In)) {
        repaired = toUtf8(utf8In);
        utf8In = repaired;
    }
    std::string out;
    out.reserve(utf8In.size());
    void* cd = converters().toGbk.get();
    while (!utf8In.empty()) {
        const std::size_t used = convertRun(cd, utf8In, out);
        utf8In.remove_prefix(used);
        if (utf8In.empty()) break;
        // A character GBK cannot hold: skip all its bytes, write one '?'.
        std::size_t skip = 1;
        while (skip < utf8In.size() && (static_cast<unsigned char>(utf8In[skip]) & 0xC0) == 0x80) ++skip;
        out += '?';
        utf8In.remove_prefix(skip);
    }
    return out;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t i) -> char16_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    const std::size_t n = bytes.size() / 2;
    for (std::size_t k = 0; k < n; ++k) {
        const char16_t u = unit(2 * k);
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
            const char16_t low = unit(2 * (k + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                ++k;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

std::string utf8ToUtf16le(std::string_view utf8In) {
    const std::string utf8 = toUtf8(utf8In);
    std::string out;
    out.reserve(utf8.size() * 2);
    const auto put = [&](char16_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t cp;
        int len;
        if (*p < 0x80) {
            cp = *p;
            len = 1;
        } else if (*p < 0xE0) {
            cp = *p & 0x1F;
            len = 2;
        } else if (*p < 0xF0) {
            cp = *p & 0x0F;
            len = 3;
        } else {
            cp = *p & 0x07;
            len = 4;
        }
        for (int i = 1; i < len; ++i) cp = (cp << 6) | (p[i] & 0x3F);
        p += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string trimControl(std::string_view s) {
    const auto isTrim = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!s.empty() && isTrim(s.front())) s.remove_prefix(1);
    while (!s.empty() && isTrim(s.back())) s.remove_suffix(1);
    return std::string(s);
}

std::string trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

namespace {
char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareIgnoreAsciiCase(a, b) == 0;
}

int compareIgnoreAsciiCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(upper(a[i]));
        const auto y = static_cast<unsigned char>(upper(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string gbkSortKey(std::string_view utf8) {
    return asciiUpper(utf8ToGbk(utf8));
}

std::string cutToBytes(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    std::size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return std::string(utf8.substr(0, cut));
}

std::size_t countChars(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace qtext
