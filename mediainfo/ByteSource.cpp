#include "mediainfo/ByteSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace mediainfo {

std::string ByteSource::readString(uint64_t offset, size_t count) {
    std::string out(count, '\0');
    out.resize(readAt(offset, out.data(), count));
    return out;
}

size_t MemorySource::readAt(uint64_t offset, void* out, size_t count) {
    if (offset >= m_bytes.size()) return 0;
    const size_t n = std::min<uint64_t>(count, m_bytes.size() - offset);
    std::memcpy(out, m_bytes.data() + offset, n);
    return n;
}

FileSource::FileSource(const std::string& path) : m_file(std::fopen(path.c_str(), "rb")) {
    struct stat st {};
    if (m_file && fstat(fileno(m_file.get()), &st) == 0 && S_ISREG(st.st_mode)) {
        m_size = static_cast<uint64_t>(st.st_size);
    } else {
        m_file.reset();  // a folder or a device is not a media file
    }
}

size_t FileSource::readAt(uint64_t offset, void* out, size_t count) {
    if (!m_file || offset >= m_size) return 0;
    if (fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(out, 1, count, m_file.get());
}

}  // namespace mediainfo
