// Reader of ZIP archives (skin archives): open from a file or from bytes in
// memory, list the members, extract one member into memory.
//
// Stored and Deflate members are read; nothing is ever written to disk. Member
// names are UTF-8 inside the program: a name whose entry carries the UTF-8
// flag (general purpose bit 11) is taken as UTF-8, any other name was written
// on a legacy system and is decoded by the program's one rule for incoming
// text (valid UTF-8 stays, else GBK). Lookups compare those UTF-8 names.
//
// Damaged archives, missing members, encrypted members, unsupported methods
// and members larger than the cap fail with an error text; the reader never
// reads out of bounds and never allocates more than the caps allow.
//
// One reader holds at most one archive. Not thread-safe: a reader belongs to
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qzip {

// The largest member extracted: skins hold small bitmaps and XML files; the
// biggest real member is well under 1 MiB, so 64 MiB stops a hostile archive
// from exhausting memory while leaving plenty of room.
inline constexpr std::uint64_t kMaxMemberSize = 64ull << 20;
// The largest archive read from a file (it is read into memory whole).
inline constexpr std::uint64_t kMaxArchiveSize = 256ull << 20;
// The most directory entries accepted; a skin has a few dozen.
inline constexpr std::size_t kMaxMembers = 65536;

struct ZipMember {
    std::string name;        // UTF-8 (see above)
    std::uint64_t size = 0;  // uncompressed size as declared
    std::uint64_t packedSize = 0;
    int method = 0;  // 0 stored, 8 Deflate, others unsupported
    bool encrypted = false;
};

class ZipReader {
  public:
    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the archive at a path (read into memory whole, so the file may
    // change afterwards without affecting the open archive). Closes the
    // previous archive first; on failure the reader holds no archive and
    // error() says why.
    bool openFile(const std::string& path);
    // Opens an archive held in memory; the bytes are copied.
    bool openMemory(std::string_view bytes);
    void close();
    bool isOpen() const;

    // The path given to openFile, or empty for an archive from memory.
    const std::string& path() const { return m_path; }
    // The directory of the open archive, in archive order.
    const std::vector<ZipMember>& members() const { return m_members; }
    // The index of the member with this name, or -1. Names are compared
    // exactly first; when no name matches exactly, ASCII letter case is
    // ignored, as archives made on case-insensitive file systems expect.
    int find(std::string_view name) const;

    // Extracts the named member into `out`. False (out empty, error() set)
    // when the member is missing, encrypted, compressed with another method,
    // larger than maxSize, or damaged (inflate error, wrong length, CRC).
    bool extract(std::string_view name, std::string& out, std::uint64_t maxSize = kMaxMemberSize);

    const std::string& error() const { return m_error; }

  private:
    struct Archive;
    bool openBytes(std::string bytes);
    bool fail(std::string what);

    std::unique_ptr<Archive> m_archive;
    std::vector<ZipMember> m_members;
    std::string m_path;
    std::string m_error;
};

}  // namespace qzip
