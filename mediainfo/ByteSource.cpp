#include "mediainfo/ByteSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    // Positioned reads on the descriptor: one system call per read instead of
    // a seek and a buffered read (the readers jump between the start and the
    // end of the file). The stream's own buffer is never used.
    const int fd = fileno(m_file.get());
    count = static_cast<size_t>(std::min<uint64_t>(count, m_size - offset));
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, static_cast<char*>(out) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace mediainfo
