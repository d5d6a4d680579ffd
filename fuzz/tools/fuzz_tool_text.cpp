// Any bytes as a tag string, a file name or a command line: the JSON and one-line forms
// are valid UTF-8, the JSON string has no raw control character, and the command parser
// never fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/Text.h"
#include "tools/PlayCommands.h"
#include "tools/ToolText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string json = quillet::tools::jsonString(bytes);
    if (!qtext::isValidUtf8(json) || json.size() < 2 || json.front() != '"' || json.back() != '"')
        std::abort();
    for (const char c : json) {
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
    const std::string line = quillet::tools::oneLine(bytes);
    if (!qtext::isValidUtf8(line) || line.find_first_of("\r\n") != std::string::npos) std::abort();

    TStreamInfo info(std::string{bytes});
    info.Title = std::string{bytes};
    const std::string record = quillet::tools::streamInfoJson(bytes, true, info);
    if (!qtext::isValidUtf8(record) || record.find('\n') != std::string::npos) std::abort();

    (void)quillet::tools::parsePlayCommand(bytes);
    return 0;
}
