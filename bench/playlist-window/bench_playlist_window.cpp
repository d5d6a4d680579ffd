// The playlist window with big lists: switching to a list of 100 000 entries
// and scrolling it page by page (each page painted), and adding 1 000 audio
// files through the real player with the event loop running between files
// (files per second and the longest time the loop was held up).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "engine/VAVIVerovu.h"
#include "playlist/PlayListEngine.h"
#include "playlist/PlayListModel.h"
#include "playlist/window/AddProgress.h"
#include "playlist/window/UPlayList.h"

namespace {

class NoDialogs : public IPlayListDialogs {
  public:
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&, TMsgIcon) override {}
    bool OpenFiles(const std::string&, std::vector<std::string>& out) override {
        out = files;
        return true;
    }
    int PickList(const std::vector<std::string>&) override { return -1; }
    std::vector<std::string> files;
};

class NoEngine : public IPlayListEngine {
  public:
    bool BASSReady() const override { return true; }
    std::string NativeFileExts() const override { return "*.mp3;"; }
    bool GetStreamInfo(const std::string&, TStreamInfo&) override { return false; }
    bool Open(const std::string&) override { return false; }
    void Play() override {}
    void Stop() override {}
    uint32_t PlayLength() const override { return 0; }
    TStreamInfo StreamInfo() const override { return {}; }
};

// A plain skin: grey background, list area with margins, small scroll bar.
TPlWindowSkin plainSkin() {
    TPlWindowSkin skin;
    skin.stage = TPlWindowSkin::psList;
    skin.position = QRect(0, 0, 420, 199);
    skin.background = QImage(272, 74, QImage::Format_RGB32);
    skin.background.fill(qRgb(45, 45, 45));
    skin.stretch = QRect(146, 20, 1, 4);
    skin.closePosition = QRect(403, 4, 13, 13);
    skin.closeImage = QImage(52, 13, QImage::Format_RGB32);
    skin.toolbarPosition = QRect(57, 49, 213, 18);
    skin.toolbarImage = QImage(140, 18, QImage::Format_RGB32);
    skin.scrollButtons = QImage(42, 18, QImage::Format_RGB32);
    skin.scrollThumb = QImage(42, 12, QImage::Format_RGB32);
    skin.scrollBar = QImage(14, 4, QImage::Format_RGB32);
    skin.listArea = QRect(3, 18, 265, 25);
    return skin;
}

std::string bigPlaylist() {
    std::string xml = "<playlist count=\"2\"><group1 caption=\"small\" count=\"10\">";
    char item[96];
    for (int i = 0; i < 10; ++i) {
        std::snprintf(item, sizeof item, "<item%d filename=\"/s/%02d.mp3\" duration=\"1000\"/>", i, i);
        xml += item;
    }
    xml += "</group1><group2 caption=\"big\" count=\"100000\">";
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(item, sizeof item, "<item%d filename=\"/music/%06d.mp3\" duration=\"215000\"/>", i, i);
        xml += item;
    }
    return xml + "</group2></playlist>";
}

// The window shown over the big playlist, in the plain skin.
struct BigListWindow {
    NoDialogs dialogs;
    NoEngine engine;
    TPlayListModel model{"/nonexistent/playlist.xml", dialogs, engine};
    bool loaded = model.LoadPlaylistsFromText(bigPlaylist());
    TFPlayList window{model};
    BigListWindow() {
        window.ApplyPlaylistSkin(plainSkin(), nullptr);
        window.show();
    }
};

void SwitchToBigListAndPage(benchmark::State& state) {
    BigListWindow rig;
    if (!rig.loaded) {
        state.SkipWithError("playlist not loaded");
        return;
    }
    TPlayListModel& model = rig.model;
    TFPlayList& window = rig.window;
    QCoreApplication::processEvents();
    double worstPageMs = 0, allPagesMs = 0;
    std::size_t pages = 0;
    for (auto _ : state) {
        model.ListsSelectCell(1);
        window.List().grab();
        QElapsedTimer t;
        t.start();
        model.ListsSelectCell(2);
        window.List().grab();
        state.counters["switch_ms"] = double(t.nsecsElapsed()) / 1e6;
        const std::size_t page = std::size_t(window.List().VisibleRows());
        for (std::size_t top = 0; top < 100000 && pages < 2000; top += page * 50, ++pages) {
            QElapsedTimer p;
            p.start();
            window.List().SetTop(top);
            window.List().grab();
            const double ms = double(p.nsecsElapsed()) / 1e6;
            worstPageMs = std::max(worstPageMs, ms);
            allPagesMs += ms;
        }
    }
    state.counters["pages"] = double(pages);
    state.counters["worst_page_ms"] = worstPageMs;
    state.counters["mean_page_ms"] = pages ? allPagesMs / double(pages) : 0;
}
BENCHMARK(SwitchToBigListAndPage)->Unit(benchmark::kMillisecond)->Iterations(5);

void PageByPage(benchmark::State& state) {
    BigListWindow rig;
    if (!rig.loaded) {
        state.SkipWithError("playlist not loaded");
        return;
    }
    TFPlayList& window = rig.window;
    rig.model.ListsSelectCell(2);
    QCoreApplication::processEvents();
    std::size_t top = 0;
    const std::size_t page = std::size_t(window.List().VisibleRows());
    for (auto _ : state) {
        top = (top + page) % 100000;
        window.List().SetTop(top);
        window.List().grab();
    }
}
BENCHMARK(PageByPage)->Unit(benchmark::kMicrosecond);

void AddThousandFiles(benchmark::State& state) {
    const QDir fixtures(QStringLiteral(QUILLET_SOURCE_DIR "/tests/fixtures/audio"));
    const QStringList sources = fixtures.entryList({"*.mp3", "*.wav", "*.ogg"}, QDir::Files, QDir::Name);
    QTemporaryDir dir;
    if (sources.isEmpty() || !dir.isValid()) {
        state.SkipWithError("no fixtures");
        return;
    }
    NoDialogs dialogs;
    for (int i = 0; i < 1000; ++i) {
        const QString& source = sources[i % sources.size()];
        const QString link = dir.filePath(QStringLiteral("%1-%2").arg(i, 4, 10, QChar('0')).arg(source));
        QFile::link(fixtures.filePath(source), link);
        dialogs.files.push_back(link.toStdString());
    }
    TVAVIVerovu player(nullptr, TVAVIVerovu::kNoSoundDevice);
    if (!player.BASSReady()) {
        state.SkipWithError("audio library not loaded");
        return;
    }
    TPlayListEngine seam(player);
    TAddProgress progress(seam, dialogs);
    TPlayListModel model("/nonexistent/playlist.xml", progress, progress);
    // The longest gap between two ticks of a 1 ms timer: how long the event
    // loop was held up.
    qint64 worstGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    double filesPerSecond = 0;
    for (auto _ : state) {
        model.SelectTemporaryList();
        QElapsedTimer t;
        t.start();
        sinceTick.start();
        ticker.start();
        model.Files1Click();
        ticker.stop();
        filesPerSecond = double(model.Displayed().Items.size()) / (double(t.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        model.LoadPlaylistsFromText("<playlist count=\"0\"></playlist>");
        state.ResumeTiming();
    }
    state.counters["files_per_s"] = filesPerSecond;
    state.counters["longest_step_ms"] = double(progress.LongestStepMs());
    state.counters["longest_loop_block_ms"] = double(worstGap);
}
BENCHMARK(AddThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
