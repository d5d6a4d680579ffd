// Value parsers and text helpers of the skin files, the file lister, and the
// duration format of the time display. No Qt.
//
// All functions are pure (ListFiles reads a folder) and thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A rectangle of a skin: x1, y1 top-left, x2, y2 bottom-right (exclusive).
struct TRect {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    int width() const { return x2 - x1; }
    int height() const { return y2 - y1; }
    bool operator==(const TRect&) const = default;
};

// The largest width or height a skin's rectangle is taken to have: wider than
// any screen, small enough that no bitmap of that size exhausts memory.
inline constexpr int kMaxSkinExtent = 16384;
// A size computed from skin numbers (in 64 bits, so "0,0,2000000000,
// 2000000000" does not overflow), limited to 0..kMaxSkinExtent.
int ClampSkinSize(std::int64_t size);
// The width and height of a skin rectangle, limited as above.
inline int SkinWidth(const TRect& r) {
    return ClampSkinSize(std::int64_t(r.x2) - r.x1);
}
inline int SkinHeight(const TRect& r) {
    return ClampSkinSize(std::int64_t(r.y2) - r.y1);
}

// A skin colour: red, green, blue.
struct TSkinColor {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint32_t rgb() const { return (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b; }
    bool operator==(const TSkinColor&) const = default;
};

// Anchor flags of an alignment.
enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// "x1, y1, x2, y2": four integers separated by commas. Spaces (or tabs)
// before a number are allowed. A part that is not exactly an optional sign and decimal digits
// (a trailing space included), or that does not fit an int, counts as 0.
// Missing parts (fewer than four numbers) count as 0; parts after the fourth
// are ignored.
TRect ParsePosition(std::string_view text);

// "#rrggbb": the first character is skipped, then three two-digit hexadecimal
// numbers; characters after the seventh are ignored. nullopt when the text is
// shorter than seven characters or a digit is not hexadecimal.
std::optional<TSkinColor> ParseColor(std::string_view text);

// The anchors named in free text by the words "left", "top", "right" and
// "bottom" (letter case significant), e.g. "bottom+left" -> akLeft|akBottom.
unsigned ParseAlign(std::string_view text);

// Gives an XML text without a declared encoding the legacy encoding GB2312.
// - A text that starts with a byte-order mark (UTF-8, UTF-16) or is plainly
//   UTF-16 is returned unchanged: the mark decides its encoding.
// - A text that contains "encoding=" is returned unchanged.
// - A text that starts with an XML declaration without an encoding gets
//   encoding="GB2312" inserted after the declaration's version, so there is
//   never a second declaration.
// - Otherwise the text is prefixed with
//   <?xml version="1.0" encoding="GB2312" standalone="yes" ?> and CR LF.
std::string EnsureXmlDeclaration(std::string_view text);

// Quotes attribute values written without quotes (resize_tile=1 becomes
// resize_tile="1"). Only element tags are touched: quoted values, text,
// comments, CDATA sections, processing instructions and the document type
// stay as they are. An unquoted value runs to the next space, '>' or "/>";
// a '"' or '<' in it is written as an entity.
std::string QuoteBareNumbers(std::string_view text);

// Removes every run of spaces directly before a double quote.
std::string RemoveSpacesBeforeQuotes(std::string_view text);

// The preparation of a skin's XML text before parsing, in this order:
// spaces before double quotes removed (unless told not to: the mini window's
// reader keeps them), QuoteBareNumbers, EnsureXmlDeclaration.
// A UTF-16 text (by its byte-order mark) is first converted to UTF-8 and
// keeps a UTF-8 byte-order mark, so its encoding stays decided.
std::string PrepareSkinXmlText(std::string_view text, bool removeSpacesBeforeQuotes = true);

// Clears `names`, adds the name (without folder) of every regular file that
// matches the wildcard path (for example "/opt/q/QuilletSkins/*.skn"; '*' and
// '?' in the last component, letter case ignored as on the systems skins come
// from) and returns their number. Hidden files (names starting with '.') are
// not listed. Names are sorted by their bytes, so the result does not depend
// on the order of the directory. A missing folder gives 0.
int ListFiles(const std::string& wildcardPath, std::vector<std::string>& names);

// Milliseconds as "nn:ss" below one hour, else "hh:nn:ss"; every field two
// digits, seconds truncated, hours counted within a day (25 h -> "01:00:00").
// Negative durations show as "00:00".
std::string FormatDuration(std::int64_t milliseconds);
