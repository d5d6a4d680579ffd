// The seam between the WMA add-on (libbasswma.so, loaded at every start) and
// its decoding half (libbasswma-ffmpeg.so, beside it), which links FFmpeg and
// is loaded only when the first ASF stream is opened. Both halves are built
// together; the functions hand over ownership of the decoder they return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/audio/Decoder.h"

#define QWMA_BACKEND_LIBRARY "libbasswma-ffmpeg.so"

namespace qwma {

// The ASF header object's GUID, 75B22630-668E-11CF-A6D9-00AA0062CE6C, as it
// is stored: every ASF file starts with it.
constexpr size_t kAsfGuidSize = 16;
constexpr unsigned char kAsfHeaderGuid[kAsfGuidSize] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline bool isAsfHeader(const void* head, size_t size) {
    return size >= kAsfGuidSize && std::memcmp(head, kAsfHeaderGuid, kAsfGuidSize) == 0;
}

}  // namespace qwma

extern "C" {
// nullptr when the file or URL is not an ASF stream we decode.
typedef qaudio::Decoder* (*qwma_open_file_t)(const char* path, uint32_t flags);
typedef qaudio::Decoder* (*qwma_open_url_t)(const char* url, uint32_t flags);
}
