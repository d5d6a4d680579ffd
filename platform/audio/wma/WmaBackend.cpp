// libbasswma-ffmpeg.so: the decoding half of the WMA add-on.
#include "platform/audio/wma/WmaBackend.h"

#include "platform/audio/wma/AsfDecoder.h"

extern "C" {

__attribute__((visibility("default"))) qaudio::Decoder* qwma_open_file(const char* path, uint32_t flags) {
    try {
        return path ? qwma::openAsfFile(path, flags).release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

__attribute__((visibility("default"))) qaudio::Decoder* qwma_open_url(const char* url, uint32_t flags) {
    try {
        return url ? qwma::openAsfUrl(url, flags).release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
}
