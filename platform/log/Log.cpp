#include "platform/log/Log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quillet::log {

bool enabled() {
    const char* value = std::getenv("QUILLET_LOG");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void write(std::string_view where, std::string_view what) {
    if (!enabled()) return;
    std::string line = "quillet: ";
    line.append(where).append(": ").append(what).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace quillet::log
