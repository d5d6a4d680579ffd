// Diagnostic logging: one line per event on stderr, off by default.
//
// The program otherwise reads no environment variables; QUILLET_LOG=1 turns the
// log on. It exists for the failures that the user never sees as a message box:
// a library that does not load, a sound device or server that cannot be reached.
// Each line reads "quillet: <where>: <what>".
//
// Any thread may call it; each line is written with one call, so lines of several
// threads do not interleave within a line. The setting is read at every call (it
// costs a getenv at failure points only), so it can be turned on without a restart
// of anything but the process.
#pragma once

#include <string_view>

namespace quillet::log {

// True when QUILLET_LOG is "1".
bool enabled();

// Writes one line when enabled; nothing otherwise.
void write(std::string_view where, std::string_view what);

}  // namespace quillet::log
