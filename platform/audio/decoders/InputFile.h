// The bytes a decoder reads: a file, or a buffer in memory (tests and fuzz
// harnesses feed decoders through the same code path as files).
//
// An InputFile has a cursor like a FILE. Reads past the end return fewer
// bytes; seeks outside [0, size()] fail and leave the cursor where it was.
// Not thread-safe: one decoder owns one InputFile.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qaudio {

class InputFile {
  public:
    virtual ~InputFile() = default;

    // Copies up to `count` bytes from the cursor to `out` and advances it;
    // returns how many were copied (0 at the end or on a read error).
    virtual size_t read(void* out, size_t count) = 0;
    // Moves the cursor to an absolute offset; false when outside the file.
    virtual bool seek(uint64_t offset) = 0;
    virtual uint64_t tell() const = 0;
    virtual uint64_t size() const = 0;
    // A stream that arrives while it is read (a download): size() is the
    // announced size, or kUnknownSize; reads may wait for data; looking far
    // ahead (the end of the file) would wait for the whole download, so
    // decoders read such an input front to back and do not seek in it.
    virtual bool sequential() const { return false; }
    static constexpr uint64_t kUnknownSize = uint64_t(1) << 62;

    // Reads up to `count` bytes at `offset` without a lasting cursor move
    // (the cursor is restored); returns the bytes read.
    std::string peek(uint64_t offset, size_t count);

    // nullptr when the file cannot be opened for reading or is not a regular
    // file (a folder, a pipe: decoders need a seekable, sized input).
    static std::unique_ptr<InputFile> openPath(const std::string& path);
    // A copy of the bytes is kept, so `bytes` need not outlive the input.
    static std::unique_ptr<InputFile> fromMemory(std::string_view bytes);
};

}  // namespace qaudio
