// Text formatting shared by the command-line tools: JSON strings and the stream
// information record as one JSON line (quillet-probe), and the one-line form of an
// engine message (quillet-play's "error" lines).
//
// All functions are pure and thread-safe. Input may be any bytes: text that is not
// valid UTF-8 is converted by the program's one rule (qtext::toUtf8), so the output
// is always valid UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "engine/types/StreamInfo.h"

namespace quillet::tools {

// The text as a JSON string literal, quotes included: '"' and '\' escaped, control
// characters (below U+0020, and U+007F) as \b \f \n \r \t or \u00XX.
std::string jsonString(std::string_view text);

// The bytes as lowercase hexadecimal digits, two per byte.
std::string hexBytes(std::string_view bytes);

// One JSON object on one line (no line break at the end), keys in this order:
// path, ok, then every field under its name in kStreamInfoFields' order, then
// path_bytes (the path's exact bytes, hexBytes).
std::string streamInfoJson(std::string_view path, bool ok, const TStreamInfo& info);

// The text on one line: every line break (a CR LF pair, a lone LF or a lone CR)
// becomes the two characters '\' 'n'. Nothing else is escaped.
std::string oneLine(std::string_view text);

}  // namespace quillet::tools
