// The byte sources the media readers read from: a file or a memory buffer.
//
// A reader never trusts a length it read from the source: it asks for what it
// needs and gets what is there. Reads past the end return fewer bytes (never
// garbage), so "missing bytes count as absent" falls out naturally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace mediainfo {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to `count` bytes from `offset` into `out`; returns how many
    // were copied (0 at or beyond the end).
    virtual size_t readAt(uint64_t offset, void* out, size_t count) = 0;
    // Convenience: up to `count` bytes from `offset` as a string.
    std::string readString(uint64_t offset, size_t count);
};

// A buffer in memory; the bytes are not copied and must outlive the source.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    uint64_t size() const override { return m_bytes.size(); }
    size_t readAt(uint64_t offset, void* out, size_t count) override;

  private:
    std::string_view m_bytes;
};

// A file opened read-only. isOpen() is false when it could not be opened.
class FileSource final : public ByteSource {
  public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    uint64_t size() const override { return m_size; }
    size_t readAt(uint64_t offset, void* out, size_t count) override;

  private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

}  // namespace mediainfo
