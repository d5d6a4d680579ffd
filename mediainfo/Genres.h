// The ID3v1 genre table: 148 names, indexed by the tag's genre byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace mediainfo {

// Number of names in the table; genre IDs 0 .. kGenreCount - 1 have one.
inline constexpr std::size_t kGenreCount = 148;

// The name of genre `id`, or an empty view when the table has none for it.
std::string_view genreName(unsigned id);

}  // namespace mediainfo
