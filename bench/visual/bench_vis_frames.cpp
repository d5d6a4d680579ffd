// The cost of one frame of each visualisation module at the default window size:
// the drawing alone, and the whole Render of the loaded plug-in (drawing, X events
// and the copy to the X server; needs $DISPLAY, Xvfb will do). The counter
// cpu_at_delay is the share of one core the module takes at its own delayMs pace.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "platform/win/WinApi.h"
#include "plugins/WinampVis.h"
#include "plugins/visual/VisDraw.h"
#include "plugins/visual/VisWindow.h"

namespace {

using namespace quillet::vis;

// Music-like data: a falling spectrum with noise, a sum of sines.
void fill(unsigned char (*spectrum)[kSamples], unsigned char (*waveform)[kSamples], int frame) {
    std::mt19937 random(static_cast<unsigned>(frame));
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kSamples; ++i) {
            const double level = 200.0 / (1 + i / 20.0) + static_cast<double>(random() % 20);
            spectrum[c][i] = static_cast<unsigned char>(std::min(255.0, level));
            const double s = 60 * std::sin(0.05 * i + frame * 0.3 + c) + 30 * std::sin(0.31 * i);
            waveform[c][i] = static_cast<unsigned char>(static_cast<signed char>(std::lround(s)));
        }
    }
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_DrawBands(benchmark::State& state) {
    Canvas canvas;
    canvas.resize(kDefaultWidth, kDefaultHeight);
    BandsView view;
    unsigned char spectrum[2][kSamples], waveform[2][kSamples];
    int frame = 0;
    for (auto _ : state) {
        fill(spectrum, waveform, frame++ % 16);
        view.draw(canvas, spectrum, 2, 44100, 0.025);
        benchmark::DoNotOptimize(canvas.pixels());
    }
}
BENCHMARK(BM_DrawBands);

void BM_DrawScope(benchmark::State& state) {
    Canvas canvas;
    canvas.resize(kDefaultWidth, kDefaultHeight);
    ScopeView view;
    unsigned char spectrum[2][kSamples], waveform[2][kSamples];
    int frame = 0;
    for (auto _ : state) {
        fill(spectrum, waveform, frame++ % 16);
        view.draw(canvas, waveform, 2);
        benchmark::DoNotOptimize(canvas.pixels());
    }
}
BENCHMARK(BM_DrawScope);

std::string libraryPath() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
    return path.substr(0, path.rfind('/')) + "/Plugin/vis_milk105beta6.1.dll";
}

void BM_Render(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("needs $DISPLAY");
        return;
    }
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    auto getHeader =
        library ? reinterpret_cast<winampVisGetHeaderType>(dlsym(library, "winampVisGetHeader")) : nullptr;
    if (getHeader == nullptr) {
        state.SkipWithError("cannot load the plug-in");
        return;
    }
    winampVisModule* module = getHeader()->getModule(static_cast<int>(state.range(0)));
    module->hDllInstance = library;
    module->sRate = 44100;
    module->nCh = 2;
    if (module->Init(module) != 0) {
        state.SkipWithError("Init failed");
        dlclose(library);
        return;
    }
    int frame = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        fill(module->spectrumData, module->waveformData, frame++ % 16);
        if (module->Render(module) != 0) state.SkipWithError("Render ended");
    }
    const double cpuPerFrame = (processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_frame"] = cpuPerFrame * 1e3;
    state.counters["frames_per_s"] = 1000.0 / module->delayMs;
    state.counters["cpu_at_delay_pct"] = 100 * cpuPerFrame * 1000.0 / module->delayMs;
    state.SetLabel(module->description);
    module->Quit(module);
    dlclose(library);
}
BENCHMARK(BM_Render)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
