#include "mediainfo/ByteSource.h"

#include <fcntl.h>
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

FileSource::FileSource(const std::string& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; only regular
    // files are kept (a folder, a FIFO or a device is not a media file).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        m_fd = fd;
        m_size = static_cast<uint64_t>(st.st_size);
    } else {
        ::close(fd);
    }
}

FileSource::~FileSource() {
    if (m_fd >= 0) ::close(m_fd);
}

size_t FileSource::readAt(uint64_t offset, void* out, size_t count) {
    if (m_fd < 0 || offset >= m_size) return 0;
    // Positioned reads: one system call per read instead of a seek and a buffered
    // read (the readers jump between the start and the end of the file).
    const int fd = m_fd;
    count = static_cast<size_t>(std::min<uint64_t>(count, m_size - offset));
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            pread(fd, static_cast<char*>(out) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace mediainfo
