// Small text helpers shared by the stream-header readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mediainfo {

// The decimal number at the start of `text` up to the first '/' (the whole
// text when there is none), as in a track field "7/12". nullopt when that part
// is not a plain decimal number (surrounding spaces allowed) or exceeds `max`.
std::optional<uint32_t> leadingNumber(std::string_view text, uint32_t max);

}  // namespace mediainfo
