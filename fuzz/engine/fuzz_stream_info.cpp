// Feeds arbitrary files to the stream inspection without the audio library:
// the first byte picks the extension, the rest is the file. Covers the
// module titles read from the file's bytes and what is made of every header
// reader's results (sizes, rates and durations of any magnitude).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/StreamInfoReader.h"

namespace {

constexpr const char* kExtensions[] = {".mod", ".mtm", ".it",  ".xm",  ".s3m", ".umx", ".mo3", ".wav",
                                       ".mp3", ".mp2", ".mp1", ".ogg", ".aac", ".wma", ".asf", ".cda"};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

// A folder of this process's own for the input file, removed at exit.
struct ScratchFolder {
    std::string path = "/tmp/quillet-fuzz-info-" + std::to_string(getpid());
    ScratchFolder() { mkdir(path.c_str(), 0700); }
    ~ScratchFolder() { rmdir(path.c_str()); }
};

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string name = scratchFolder() + "/input" + kExtensions[data[0] % kExtensionCount];
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    static TStreamInfoReader reader;
    TStreamInfoContext context;  // no library: nothing is opened for play
    TStreamInfo info;
    reader.Read(name, info, context);
    volatile size_t n = info.Title.size() + info.Artist.size() + info.Comment.size();
    (void)n;
    std::remove(name.c_str());
    return 0;
}
