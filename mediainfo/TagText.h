// Text helpers shared by the tag readers: fields cut to a fixed size in the
// file, decoded by the program's one rule for text from outside.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mediainfo {

// Text of a tag field: the bytes up to the first zero byte, converted to
// UTF-8 by qtext::toUtf8. A field that a fixed size or a read cap cut inside
// its last character (a UTF-8 sequence or a GBK pair missing its tail) loses
// that incomplete character instead of turning it, or the whole field, into
// Latin-1.
std::string fieldText(std::string_view bytes);

// The first `count` characters of a UTF-8 string.
std::string firstChars(std::string_view utf8, std::size_t count);

// The value of an all-digit decimal field of at most 9 digits (Lyrics3
// lengths and sizes); -1 when it is empty, longer or not all digits 0-9.
long digitsValue(std::string_view field);

}  // namespace mediainfo
