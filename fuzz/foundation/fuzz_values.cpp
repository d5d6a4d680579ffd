// The skin value parsers, the text helpers and the settings element names.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "shell/Settings.h"
#include "shell/Ufuncs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)ParsePosition(text);
    (void)ParseColor(text);
    (void)ParseAlign(text);
    (void)EnsureXmlDeclaration(text);
    (void)QuoteBareNumbers(text);
    (void)PrepareSkinXmlText(text);
    // The element name of a skin must give the skin's name back.
    if (SkinFileNameFromElement(SkinElementName(text)) != text) __builtin_trap();
    (void)SkinFileNameFromElement(text);
    if (size >= 8) {
        std::int64_t ms;
        std::memcpy(&ms, data, sizeof ms);
        if (FormatDuration(ms).size() > 8) __builtin_trap();
    }
    return 0;
}
