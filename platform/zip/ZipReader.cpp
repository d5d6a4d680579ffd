#include "platform/zip/ZipReader.h"

#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/text/Text.h"

namespace qzip {
namespace {

// General purpose flag bits (PKWARE APPNOTE 4.4.4).
constexpr unsigned long kFlagEncrypted = 1u << 0;
constexpr unsigned long kFlagUtf8 = 1u << 11;
constexpr int kMethodStored = 0;
constexpr int kMethodDeflate = 8;

// The archive bytes as a read-only stream for minizip's I/O callbacks.
struct MemoryStream {
    const std::string* bytes = nullptr;
    std::uint64_t pos = 0;
};

voidpf ZCALLBACK memOpen(voidpf opaque, const void* /*filename*/, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    auto* stream = static_cast<MemoryStream*>(opaque);
    stream->pos = 0;
    return stream;
}

uLong ZCALLBACK memRead(voidpf /*opaque*/, voidpf s, void* buf, uLong size) {
    auto* stream = static_cast<MemoryStream*>(s);
    const std::uint64_t total = stream->bytes->size();
    if (stream->pos >= total) return 0;
    const std::uint64_t n = std::min<std::uint64_t>(size, total - stream->pos);
    std::memcpy(buf, stream->bytes->data() + stream->pos, static_cast<size_t>(n));
    stream->pos += n;
    return static_cast<uLong>(n);
}

uLong ZCALLBACK memWrite(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK memTell(voidpf /*opaque*/, voidpf s) {
    return static_cast<MemoryStream*>(s)->pos;
}

long ZCALLBACK memSeek(voidpf /*opaque*/, voidpf s, ZPOS64_T offset, int origin) {
    auto* stream = static_cast<MemoryStream*>(s);
    const std::uint64_t total = stream->bytes->size();
    std::uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = stream->pos;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = total;
            break;
        default:
            return -1;
    }
    // Positions past the end are refused like a file that is too short.
    if (offset > total || base > total - offset) return -1;
    stream->pos = base + offset;
    return 0;
}

int ZCALLBACK memClose(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK memError(voidpf, voidpf) {
    return 0;
}

}  // namespace

struct ZipReader::Archive {
    std::string bytes;
    MemoryStream stream;
    unzFile handle = nullptr;
    std::vector<unz64_file_pos> positions;  // parallel to m_members

    ~Archive() {
        if (handle) unzClose(handle);
    }
};

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;

bool ZipReader::fail(std::string what) {
    m_error = std::move(what);
    return false;
}

void ZipReader::close() {
    m_archive.reset();
    m_members.clear();
    m_path.clear();
}

bool ZipReader::isOpen() const {
    return m_archive != nullptr;
}

bool ZipReader::openFile(const std::string& path) {
    close();
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot open " + path + ": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0) return fail("cannot read " + path);
    if (static_cast<std::uint64_t>(length) > kMaxArchiveSize)
        return fail(path + " is too large for a skin archive");
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<size_t>(length), '\0');
    if (!in.read(bytes.data(), length)) return fail("cannot read " + path);
    if (!openBytes(std::move(bytes))) {
        m_error = path + ": " + m_error;
        return false;
    }
    m_path = path;
    return true;
}

bool ZipReader::openMemory(std::string_view bytes) {
    close();
    if (bytes.size() > kMaxArchiveSize) return fail("the archive is too large");
    return openBytes(std::string(bytes));
}

bool ZipReader::openBytes(std::string bytes) {
    m_error.clear();
    auto archive = std::make_unique<Archive>();
    archive->bytes = std::move(bytes);
    archive->stream.bytes = &archive->bytes;

    zlib_filefunc64_def io{};
    io.zopen64_file = memOpen;
    io.zread_file = memRead;
    io.zwrite_file = memWrite;
    io.ztell64_file = memTell;
    io.zseek64_file = memSeek;
    io.zclose_file = memClose;
    io.zerror_file = memError;
    io.opaque = &archive->stream;
    archive->handle = unzOpen2_64("memory", &io);
    if (!archive->handle) return fail("not a ZIP archive, or its directory is damaged");

    unz_global_info64 global{};
    if (unzGetGlobalInfo64(archive->handle, &global) != UNZ_OK)
        return fail("the archive's directory is damaged");
    if (global.number_entry > kMaxMembers) return fail("the archive has too many members");

    std::vector<ZipMember> members;
    members.reserve(static_cast<size_t>(global.number_entry));
    int rc = unzGoToFirstFile(archive->handle);
    // A file name field holds at most 65535 bytes (16-bit length).
    std::string nameBuffer(65536, '\0');
    while (rc == UNZ_OK) {
        if (members.size() >= kMaxMembers) return fail("the archive has too many members");
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(archive->handle, &info, nameBuffer.data(), nameBuffer.size(), nullptr, 0,
                                    nullptr, 0) != UNZ_OK) {
            return fail("the archive's directory is damaged");
        }
        const size_t nameLength = std::min<size_t>(info.size_filename, nameBuffer.size() - 1);
        const std::string_view rawName(nameBuffer.data(), nameLength);
        ZipMember member;
        // Names without the UTF-8 flag come from legacy (GBK) systems; the
        // one rule keeps ASCII and valid UTF-8 and decodes the rest as GBK.
        // A flagged name that is not valid UTF-8 is repaired the same way.
        member.name = (info.flag & kFlagUtf8) && qtext::isValidUtf8(rawName) ? std::string(rawName)
                                                                             : qtext::toUtf8(rawName);
        member.size = info.uncompressed_size;
        member.packedSize = info.compressed_size;
        member.method = static_cast<int>(info.compression_method);
        member.encrypted = (info.flag & kFlagEncrypted) != 0;
        unz64_file_pos pos{};
        if (unzGetFilePos64(archive->handle, &pos) != UNZ_OK)
            return fail("the archive's directory is damaged");
        archive->positions.push_back(pos);
        members.push_back(std::move(member));
        rc = unzGoToNextFile(archive->handle);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE) return fail("the archive's directory is damaged");

    m_archive = std::move(archive);
    m_members = std::move(members);
    return true;
}

int ZipReader::find(std::string_view name) const {
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i].name == name) return static_cast<int>(i);
    }
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (qtext::equalsIgnoreAsciiCase(m_members[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

bool ZipReader::extract(std::string_view name, std::string& out, std::uint64_t maxSize) {
    out.clear();
    m_error.clear();
    if (!m_archive) return fail("no archive is open");
    const int index = find(name);
    if (index < 0) return fail("the archive has no member " + std::string(name));
    const ZipMember& member = m_members[static_cast<size_t>(index)];
    const std::string what = "member " + member.name + ": ";
    if (member.encrypted) return fail(what + "encrypted members are not supported");
    if (member.method != kMethodStored && member.method != kMethodDeflate) {
        return fail(what + "compression method " + std::to_string(member.method) + " is not supported");
    }
    if (member.size > maxSize) return fail(what + "too large (" + std::to_string(member.size) + " bytes)");

    unzFile handle = m_archive->handle;
    unz64_file_pos pos = m_archive->positions[static_cast<size_t>(index)];
    if (unzGoToFilePos64(handle, &pos) != UNZ_OK) return fail(what + "the directory entry is damaged");
    if (unzOpenCurrentFile(handle) != UNZ_OK) return fail(what + "the local header is damaged");

    // The declared size bounds what is read, but the buffer grows with what
    // actually arrives, so a lying header cannot make us allocate up front.
    std::string data;
    data.reserve(static_cast<size_t>(std::min<std::uint64_t>(member.size, 1u << 20)));
    char chunk[64 * 1024];
    bool ok = true;
    std::string problem;
    for (;;) {
        const int n = unzReadCurrentFile(handle, chunk, sizeof chunk);
        if (n < 0) {
            ok = false;
            problem = "the compressed data is damaged";
            break;
        }
        if (n == 0) break;
        if (data.size() + static_cast<size_t>(n) > maxSize) {
            ok = false;
            problem = "too large";
            break;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    const int closeRc = unzCloseCurrentFile(handle);
    if (ok && closeRc == UNZ_CRCERROR) {
        ok = false;
        problem = "CRC mismatch";
    } else if (ok && data.size() != member.size) {
        ok = false;
        problem = "the data is shorter than declared";
    }
    if (!ok) return fail(what + problem);
    out = std::move(data);
    return true;
}

}  // namespace qzip
