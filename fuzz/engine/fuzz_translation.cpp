// Feeds arbitrary bytes to the language-file parser: the bytes before the
// first zero byte are the file, the rest a text to translate with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Translation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string_view file = input.substr(0, nul);
    const std::string text(nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1));

    TTranslationTable table;
    table.Parse(file);
    volatile size_t n = table.Caption().size() + table.Translate(text).size();
    for (const auto& [key, value] : table.Entries()) {
        n = n + table.Translate(key + "\n" + text).size();
        if (value.empty()) __builtin_trap();  // empty values are never kept
    }
    (void)n;
    return 0;
}
