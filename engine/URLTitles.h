// The texts of network streams the player shows: titles out of stream
// metadata, tag series and URLs. Pure functions over bytes (no library
// calls), so every form a server sends can be tested directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The longest title the player keeps, in bytes (a 256-byte buffer with its
// terminating zero); a cut never splits a UTF-8 character.
inline constexpr size_t kMaxStreamTitleBytes = 255;
// A tag series read from the library is walked at most this far.
inline constexpr size_t kMaxSeriesBytes = 64 * 1024;

// The title a URL names: the text after its last "/" without the last four
// characters (an extension such as ".mp3"). Empty when the last "/" leaves
// fewer than six characters after it or lies within the first five.
std::string TitleFromURL(const std::string& url);

// The quoted value after `key` in a metadata text ("StreamTitle='A - B';"),
// ending before the first ";" of the text (and its closing quote). Empty when
// that end lies before the value's start; nullopt when the key is absent.
std::optional<std::string> QuotedMetaValue(std::string_view text, std::string_view key);

// The strings of a NUL-separated series ending in an empty string, read no
// further than kMaxSeriesBytes. A null pointer is an empty series.
std::vector<std::string_view> SeriesEntries(const char* series);

// A title as the player keeps it: decoded by the program's text rule (valid
// UTF-8 stays, otherwise GBK, otherwise Latin-1) and cut to
// kMaxStreamTitleBytes.
std::string StreamTitleText(std::string_view bytes);

// The title a metadata callback reports for a metadata text: the quoted
// value after `key`, else the first series entry with "TITLE=" (an Ogg
// stream's comments), else empty. Already through StreamTitleText.
std::string MetaTitle(const char* text, std::string_view key);

// The number that follows the first `skip` characters of a text ("icy-br:128").
uint32_t NumberAfter(std::string_view text, size_t skip);

// The value of a "KEY=value" entry whose key equals `key` in any case;
// nullopt for another key.
std::optional<std::string_view> CommentValue(std::string_view entry, std::string_view key);
