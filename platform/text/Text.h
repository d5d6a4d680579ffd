// Text conversions at the edges of the program.
//
// Inside the program every string is UTF-8. Text that arrives from outside
// (tags, module titles, ZIP member names, stream titles, language files, file
// names) goes through toUtf8() once, by one rule: bytes that already are valid
// UTF-8 stay as they are; otherwise they are decoded as GBK, and a byte that
// does not start a valid GBK character is taken as Latin-1, one character per
// byte. So nothing invalid enters the program and nothing is dropped.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qtext {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Keeps every well-formed UTF-8 character and takes each byte that is not
// part of one as Latin-1: for text known to be UTF-8 that has been damaged.
std::string repairUtf8(std::string_view bytes);

// True when the bytes hold more well-formed multi-byte UTF-8 characters than
// bytes that are not UTF-8: UTF-8 text with a few damaged bytes, rather than
// text in a legacy code page.
bool isMostlyUtf8(std::string_view bytes);

// The one rule for text entering the program (see above).
std::string toUtf8(std::string_view bytes);

// GBK (a superset of GB2312) to UTF-8. Bytes that are not valid GBK are taken
// as Latin-1, so the result is always valid UTF-8.
std::string gbkToUtf8(std::string_view gbk);

// Strict GBK to UTF-8: nullopt when any byte sequence is not valid GBK.
std::optional<std::string> gbkToUtf8Strict(std::string_view gbk);

// UTF-8 to GBK. A character that GBK cannot hold becomes '?'. Invalid UTF-8
// input is first repaired by toUtf8().
std::string utf8ToGbk(std::string_view utf8);

// Latin-1 (one byte one character) to UTF-8.
std::string latin1ToUtf8(std::string_view latin1);

// UTF-16 to UTF-8 in the given byte order. Stops at the first U+0000. An
// unpaired surrogate becomes U+FFFD; a trailing odd byte is ignored.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

// UTF-8 to UTF-16 little-endian bytes (no byte-order mark).
std::string utf8ToUtf16le(std::string_view utf8);

// Appends the UTF-8 form of one code point (U+FFFD for one that is invalid).
void appendUtf8(std::string& out, char32_t cp);

// Removes leading and trailing spaces and control characters: every byte
// <= 0x20.
std::string trimControl(std::string_view s);

// Removes leading and trailing spaces (0x20) only.
std::string trimSpaces(std::string_view s);

// ASCII-only case folding; bytes >= 0x80 are left alone, so multi-byte
// characters are never touched.
std::string asciiUpper(std::string_view s);
std::string asciiLower(std::string_view s);
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, comparing bytes after folding a-z to A-Z.
int compareIgnoreAsciiCase(std::string_view a, std::string_view b);

// Sort key of a UTF-8 string: its GBK form with a-z folded to A-Z. Comparing
// keys byte by byte (as unsigned) orders Chinese text the way its readers
// expect: 啊 < 不 < 吃, while their UTF-8 bytes order them 不 < 吃 < 啊.
std::string gbkSortKey(std::string_view utf8);

// The longest prefix of a UTF-8 string that fits in maxBytes without cutting
// a character in half.
std::string cutToBytes(std::string_view utf8, std::size_t maxBytes);

// The number of characters (code points) of a UTF-8 string.
std::size_t countChars(std::string_view utf8);

}  // namespace qtext
