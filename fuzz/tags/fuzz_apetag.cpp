// The APE tag reader over a memory source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mediainfo/APETag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mediainfo::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    mediainfo::TAPETag tag;
    tag.ReadFromSource(source);
    for (const auto& item : tag.items()) {
        if (item.value.size() > mediainfo::TAPETag::kMaxValueBytes) std::abort();
    }
    return 0;
}
