// The mini window's costs: one spectrum frame in each mode (runs every
// 25 ms while playing) and applying the built-in skin (every start and skin
// change). Offscreen Qt platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "shell/UMain.h"
#include "shell/USkin.h"

namespace {

TFMain& Form() {
    static std::unique_ptr<TFMain> form = [] {
        TUserFolders folders;
        folders.configWrite = folders.dataWrite = "/nonexistent/quillet-bench";
        auto f = std::make_unique<TFMain>(folders);
        const QByteArray& skin = BuiltinSkinArchive();
        f->LoadSkinFromMemory(std::string_view(skin.constData(), size_t(skin.size())));
        f->ShapeWindow();
        f->PrepareSpectrum();
        f->ApplyButtonSettings();
        return f;
    }();
    return *form;
}

void BM_DrawSpectrum(benchmark::State& state) {
    TFMain& form = Form();
    form.SetVisMode(int(state.range(0)));
    form.TotalTimeText = "03:45";
    TBandOut bands;
    unsigned frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < 25; ++i) bands[i] = uint16_t((i * 7 + frame * 3) % 17);
        form.DrawSpectrum(bands);
        ++frame;
    }
}
BENCHMARK(BM_DrawSpectrum)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_LoadBuiltinSkin(benchmark::State& state) {
    TFMain& form = Form();
    const QByteArray& skin = BuiltinSkinArchive();
    for (auto _ : state) {
        if (!form.LoadSkinFromMemory(std::string_view(skin.constData(), size_t(skin.size()))))
            state.SkipWithError("the built-in skin did not load");
        form.ShapeWindow();
        form.PrepareSpectrum();
        form.ApplyButtonSettings();
    }
}
BENCHMARK(BM_LoadBuiltinSkin)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
