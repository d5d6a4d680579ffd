// The cost of one frame of each visualisation module at the default window size:
// the drawing alone, and the whole Render of the loaded plug-in (drawing, X events
// and the copy to the X server; needs $DISPLAY, Xvfb will do), as fast as it goes
// and at the module's own delayMs pace.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

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

// The plug-in loaded and one module initialised, for the length of a benchmark.
class LoadedModule {
  public:
    explicit LoadedModule(int index) {
        if (std::getenv("DISPLAY") == nullptr) {
            m_error = "needs $DISPLAY";
            return;
        }
        m_library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        auto getHeader =
            m_library ? reinterpret_cast<winampVisGetHeaderType>(dlsym(m_library, "winampVisGetHeader"))
                      : nullptr;
        if (getHeader == nullptr) {
            m_error = "cannot load the plug-in";
            return;
        }
        m_module = getHeader()->getModule(index);
        m_module->hDllInstance = m_library;
        m_module->sRate = 44100;
        m_module->nCh = 2;
        if (m_module->Init(m_module) != 0) {
            m_error = "Init failed";
            m_module = nullptr;
        }
    }
    ~LoadedModule() {
        if (m_module != nullptr) m_module->Quit(m_module);
        if (m_library != nullptr) dlclose(m_library);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    winampVisModule* module() const { return m_module; }
    const char* error() const { return m_error; }

  private:
    void* m_library = nullptr;
    winampVisModule* m_module = nullptr;
    const char* m_error = "";
};

// CPU seconds of another process (the X server), from /proc; -1 when unknown.
double processCpuSeconds(const char* pid) {
    if (pid == nullptr) return -1;
    std::ifstream stat(std::string("/proc/") + pid + "/stat");
    // Fields 14 and 15: user and system time in clock ticks (the name in field 2
    // has no spaces for an X server).
    std::string skip;
    for (int field = 1; field <= 13 && stat >> skip;) ++field;
    unsigned long user = 0, system = 0;
    return stat >> user >> system
               ? static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK))
               : -1;
}

// As fast as it goes: the CPU one frame costs.
void BM_Render(benchmark::State& state) {
    LoadedModule loaded(static_cast<int>(state.range(0)));
    winampVisModule* module = loaded.module();
    if (module == nullptr) {
        state.SkipWithError(loaded.error());
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
    state.counters["cpu_at_delay_pct"] = 100 * cpuPerFrame * 1000.0 / module->delayMs;
    state.SetLabel(module->description);
}
BENCHMARK(BM_Render)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime();

// At the module's own pace (one Render per delayMs, as the host drives it): the
// frames per second reached and the share of a core taken by this process and,
// when QUILLET_XSERVER_PID names it, by the X server.
void BM_RenderAtDelay(benchmark::State& state) {
    LoadedModule loaded(static_cast<int>(state.range(0)));
    winampVisModule* module = loaded.module();
    if (module == nullptr) {
        state.SkipWithError(loaded.error());
        return;
    }
    const char* server = std::getenv("QUILLET_XSERVER_PID");
    const auto period = std::chrono::milliseconds(module->delayMs);
    int frame = 0;
    const double cpuBefore = processCpuSeconds(), serverBefore = processCpuSeconds(server);
    const auto start = std::chrono::steady_clock::now();
    auto next = start;
    for (auto _ : state) {
        fill(module->spectrumData, module->waveformData, frame++ % 16);
        if (module->Render(module) != 0) state.SkipWithError("Render ended");
        next += period;
        std::this_thread::sleep_until(next);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["frames_per_s"] = static_cast<double>(state.iterations()) / seconds;
    state.counters["cpu_pct"] = 100 * (processCpuSeconds() - cpuBefore) / seconds;
    if (serverBefore >= 0)
        state.counters["xserver_cpu_pct"] = 100 * (processCpuSeconds(server) - serverBefore) / seconds;
    state.SetLabel(module->description);
}
BENCHMARK(BM_RenderAtDelay)->Arg(0)->Arg(1)->Iterations(400)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
