#include "platform/audio/decoders/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace qaudio {

namespace {

class FileInput final : public InputFile {
  public:
    FileInput(std::FILE* file, uint64_t size) : m_file(file), m_size(size) {}

    size_t read(void* out, size_t count) override {
        if (count == 0 || m_pos >= m_size) {
            return 0;
        }
        const size_t got = std::fread(out, 1, count, m_file.get());
        m_pos += got;
        return got;
    }

    bool seek(uint64_t offset) override {
        if (offset > m_size || offset > static_cast<uint64_t>(INT64_MAX)) {
            return false;
        }
        if (offset == m_pos) {
            return true;
        }
        if (fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
            return false;
        }
        m_pos = offset;
        return true;
    }

    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    uint64_t m_size;
    uint64_t m_pos = 0;
};

class MemoryInput final : public InputFile {
  public:
    explicit MemoryInput(std::string_view bytes) : m_bytes(bytes.begin(), bytes.end()) {}

    size_t read(void* out, size_t count) override {
        const size_t n = std::min<uint64_t>(count, m_bytes.size() - m_pos);
        if (n > 0) {
            std::memcpy(out, m_bytes.data() + m_pos, n);
        }
        m_pos += n;
        return n;
    }

    bool seek(uint64_t offset) override {
        if (offset > m_bytes.size()) {
            return false;
        }
        m_pos = offset;
        return true;
    }

    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_bytes.size(); }

  private:
    std::vector<char> m_bytes;
    uint64_t m_pos = 0;
};

}  // namespace

std::string InputFile::peek(uint64_t offset, size_t count) {
    const uint64_t saved = tell();
    std::string out;
    if (offset < size() && seek(offset)) {
        out.resize(std::min<uint64_t>(count, size() - offset));
        out.resize(read(out.data(), out.size()));
    }
    seek(saved);
    return out;
}

std::unique_ptr<InputFile> InputFile::openPath(const std::string& path) {
    // Opened non-blocking first: opening a FIFO for reading would otherwise
    // wait for a writer. Only a regular file goes on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileInput>(f, static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<InputFile> InputFile::fromMemory(std::string_view bytes) {
    return std::make_unique<MemoryInput>(bytes);
}

}  // namespace qaudio
