// A DecoderFactory whose formats read from an InputFile, so the same decoder
// opens a file by path (the core) or bytes in memory (tests, fuzz harnesses).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/Decoder.h"
#include "platform/audio/decoders/InputFile.h"

namespace qaudio {

class InputDecoderFactory : public DecoderFactory {
  public:
    std::unique_ptr<Decoder> open(const std::string& path, uint32_t flags) const final {
        auto in = InputFile::openPath(path);
        return in ? openInput(std::move(in), flags) : nullptr;
    }

    // Same contract as open(): takes ownership of `in`; nullptr (quietly)
    // when the bytes are not of this factory's format or cannot be decoded.
    // Thread-safe.
    virtual std::unique_ptr<Decoder> openInput(std::unique_ptr<InputFile> in, uint32_t flags) const = 0;
};

}  // namespace qaudio
