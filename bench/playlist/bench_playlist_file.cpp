// Loading and saving a playlist file of 100 000 entries (about 35 MB), the
// size at which a per-name scan of the numbered elements would take minutes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "playlist/PlayListModel.h"

namespace {

constexpr int kItems[] = {60000, 30000, 10000};  // 100 000 entries in three lists

class NoDialogs : public IPlayListDialogs {
  public:
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string& text, const std::string&, TMsgIcon) override { error = text; }
    bool OpenFiles(const std::string&, std::vector<std::string>&) override { return false; }
    int PickList(const std::vector<std::string>&) override { return -1; }
    std::string error;
};

class NoEngine : public IPlayListEngine {
  public:
    bool BASSReady() const override { return false; }
    std::string NativeFileExts() const override { return {}; }
    bool GetStreamInfo(const std::string&, TStreamInfo&) override { return false; }
    bool Open(const std::string&) override { return false; }
    void Play() override {}
    void Stop() override {}
    uint32_t PlayLength() const override { return 0; }
    TStreamInfo StreamInfo() const override { return {}; }
};

// A document like the one the program writes, with realistic values.
std::string generatePlaylist() {
    std::string out = "<?xml version=\"1.0\"?>\n<playlist count=\"3\">\n";
    int serial = 0;
    for (int g = 0; g < 3; ++g) {
        out += "  <group" + std::to_string(g + 1) + " caption=\"列表 " + std::to_string(g + 1) +
               "\" count=\"" + std::to_string(kItems[g]) + "\">\n";
        for (int k = 0; k < kItems[g]; ++k, ++serial) {
            const std::string n = std::to_string(serial);
            out += "    <item" + std::to_string(k) + " filename=\"/home/user/音乐/歌手 " +
                   std::to_string(serial % 97) + "/专辑 " + std::to_string(serial % 13) + "/" + n +
                   " - 一首很好听的歌 &amp; more.mp3\" filesize=\"" + std::to_string(3000000 + serial) +
                   "\" samplerate=\"44100\" bitrate=\"192\" bitspersample=\"16\" duration=\"" +
                   std::to_string(180000 + serial % 60000) + "\" title=\"一首很好听的歌 " + n +
                   "\" artist=\"歌手 " + std::to_string(serial % 97) + "\" album=\"专辑 " +
                   std::to_string(serial % 13) + "\" year=\"2004\" genre=\"Pop\" track=\"" +
                   std::to_string(serial % 20) +
                   "\" comment=\"ripped&#10;by me\" channels=\"2\" format=\"65538\" genreid=\"13\" />\n";
        }
        out += "  </group" + std::to_string(g + 1) + ">\n";
    }
    return out + "</playlist>\n";
}

struct Files {
    Files()
        : dir(std::filesystem::temp_directory_path() /
              ("quillet-bench-playlist-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "playlist.xml", std::ios::binary) << generatePlaylist();
    }
    ~Files() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

Files& files() {
    static Files f;
    return f;
}

void BM_LoadPlaylists(benchmark::State& state) {
    NoDialogs dialogs;
    NoEngine engine;
    const std::string path = (files().dir / "playlist.xml").string();
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    for (auto _ : state) {
        TPlayListModel model(path, dialogs, engine);
        model.LoadPlaylists();
        if (model.ListCount() != 4 || model.List(1).Items.size() != 60000)
            state.SkipWithError(dialogs.error.c_str());
        benchmark::DoNotOptimize(model.List(3).Items.back().StreamInfo.Duration);
    }
}
BENCHMARK(BM_LoadPlaylists)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->DisplayAggregatesOnly();

// The whole save: document, text, temporary file, flush to disk, rename.
void BM_SavePlaylists(benchmark::State& state) {
    NoDialogs dialogs;
    NoEngine engine;
    const std::filesystem::path target = files().dir / "saved.xml";
    std::filesystem::copy_file(files().dir / "playlist.xml", target,
                               std::filesystem::copy_options::overwrite_existing);
    TPlayListModel model(target.string(), dialogs, engine);
    model.LoadPlaylists();
    for (auto _ : state) {
        if (!model.SavePlaylists()) state.SkipWithError(model.LastError().c_str());
    }
}
BENCHMARK(BM_SavePlaylists)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->DisplayAggregatesOnly();

// The same without the disk: building and writing out the document.
void BM_PlaylistsText(benchmark::State& state) {
    NoDialogs dialogs;
    NoEngine engine;
    TPlayListModel model((files().dir / "playlist.xml").string(), dialogs, engine);
    model.LoadPlaylists();
    for (auto _ : state) benchmark::DoNotOptimize(model.PlaylistsText().size());
}
BENCHMARK(BM_PlaylistsText)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->DisplayAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
