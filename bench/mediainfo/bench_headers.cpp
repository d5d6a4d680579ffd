// Reads every file of a folder through the stream-header reader matching its
// extension (.mp3/.mp2/.mp1, .ogg, .aac, .wma/.asf, .wav) and reports files
// per second and the bytes read per file.
//
//   bench_headers FOLDER [PASSES]
//
// One untimed pass warms the page cache; the figures are the mean of PASSES
// timed passes (default 3). Files are opened for every read as the player
// does, and read as ReadFromFile reads them; the bytes and reads counted are
// those that reached the file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mediainfo/AACfile.h"
#include "mediainfo/ByteSource.h"
#include "mediainfo/MPEGaudio.h"
#include "mediainfo/OggVorbis.h"
#include "mediainfo/WAVfile.h"
#include "mediainfo/WMAfile.h"

namespace {

using namespace mediainfo;

// Passes reads through and counts them.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(ByteSource& inner) : m_inner(inner) {}
    uint64_t size() const override { return m_inner.size(); }
    size_t readAt(uint64_t offset, void* out, size_t count) override {
        const size_t n = m_inner.readAt(offset, out, count);
        m_bytes += n;
        ++m_reads;
        return n;
    }
    uint64_t bytes() const { return m_bytes; }
    uint64_t reads() const { return m_reads; }

  private:
    ByteSource& m_inner;
    uint64_t m_bytes = 0;
    uint64_t m_reads = 0;
};

enum class Kind { kMpeg, kOgg, kAac, kWma, kWav, kNone };

Kind kindOf(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".mp3" || ext == ".mp2" || ext == ".mp1") return Kind::kMpeg;
    if (ext == ".ogg") return Kind::kOgg;
    if (ext == ".aac") return Kind::kAac;
    if (ext == ".wma" || ext == ".asf") return Kind::kWma;
    if (ext == ".wav") return Kind::kWav;
    return Kind::kNone;
}

struct Readers {
    TMPEGaudio mpeg;
    TOggVorbis ogg;
    TAACfile aac;
    TWMAfile wma;
    TWAVfile wav;
};

struct Totals {
    uint64_t files = 0, bytes = 0, reads = 0, valid = 0;
};

bool readOne(Readers& r, Kind kind, const std::string& path, Totals& t) {
    FileSource file(path);
    if (!file.isOpen()) return false;
    CountingSource src(file);
    bool valid = false;
    switch (kind) {
        case Kind::kMpeg:
            r.mpeg.ReadFromSourceCached(src);
            valid = r.mpeg.valid();
            break;
        case Kind::kOgg:
            r.ogg.ReadFromSourceCached(src);
            valid = r.ogg.valid();
            break;
        case Kind::kAac:
            r.aac.ReadFromSourceCached(src);
            valid = r.aac.valid();
            break;
        case Kind::kWma:
            r.wma.ReadFromSource(src);
            valid = r.wma.valid();
            break;
        case Kind::kWav:
            r.wav.ReadFromSource(src);
            valid = r.wav.valid();
            break;
        case Kind::kNone:
            return false;
    }
    ++t.files;
    t.bytes += src.bytes();
    t.reads += src.reads();
    t.valid += valid ? 1 : 0;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [PASSES]\n", argv[0]);
        return 2;
    }
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<std::pair<Kind, std::string>> files;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
        if (!e.is_regular_file()) continue;
        const Kind k = kindOf(e.path());
        if (k != Kind::kNone) files.emplace_back(k, e.path().string());
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    if (files.empty()) {
        std::fprintf(stderr, "no media files in %s\n", argv[1]);
        return 1;
    }

    Readers readers;
    Totals warm;
    for (const auto& [kind, path] : files) readOne(readers, kind, path, warm);

    std::map<Kind, Totals> byKind;
    double seconds = 0;
    Totals all;
    for (int pass = 0; pass < passes; ++pass) {
        Totals t;
        const auto start = std::chrono::steady_clock::now();
        for (const auto& [kind, path] : files) readOne(readers, kind, path, t);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        all.files += t.files;
        all.bytes += t.bytes;
        all.reads += t.reads;
        all.valid += t.valid;
    }
    for (const auto& [kind, path] : files) readOne(readers, kind, path, byKind[kind]);

    std::printf("files: %zu, passes: %d, valid: %.0f%%\n", files.size(), passes,
                100.0 * double(all.valid) / double(all.files));
    std::printf("files per second: %.0f\n", double(all.files) / seconds);
    std::printf("bytes read per file: %.0f (%.1f reads per file)\n", double(all.bytes) / double(all.files),
                double(all.reads) / double(all.files));
    const char* names[] = {"mpeg", "ogg", "aac", "wma", "wav"};
    for (const auto& [kind, t] : byKind)
        std::printf("  %-5s %6llu files, %8.0f bytes/file, %4.1f reads/file\n", names[int(kind)],
                    static_cast<unsigned long long>(t.files), double(t.bytes) / double(t.files),
                    double(t.reads) / double(t.files));
    return 0;
}
