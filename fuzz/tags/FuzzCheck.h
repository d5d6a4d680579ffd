// Checks the harnesses make on what the tag readers return.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/text/Text.h"

// Every text a tag reader returns is UTF-8: nothing invalid enters the
// program.
inline void requireUtf8(const std::string& s) {
    if (!qtext::isValidUtf8(s)) std::abort();
}
