// The visualisation plug-in library: its one export, winampVisGetHeader, and two
// modules, a spectrum analyser and an oscilloscope. Each draws in a window of its
// own (VisWindow.h says how the host finds and moves it) at the module's delayMs
// pace, one frame per Render.
//
// Init, Render and Quit run on the host's driver thread. Init makes the window and
// announces its stand-in to the player's main window (hwndParent) with
// WM_WA_IPC / IPC_SETVISWND; Render answers 1 once the window was closed or
// destroyed; Quit destroys the window. Nothing outlives Quit: no thread, no
// handler, no window class, so the library may be unloaded right after it.
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/win/WinApi.h"
#include "plugins/WinampVis.h"
#include "plugins/visual/VisDraw.h"
#include "plugins/visual/VisWindow.h"

namespace {

using quillet::vis::BandsView;
using quillet::vis::ScopeView;
using quillet::vis::VisWindow;
using Clock = std::chrono::steady_clock;

// 25 ms: 40 frames per second.
constexpr int kDelayMs = 25;

struct Running {
    VisWindow window;
    BandsView bands;
    ScopeView scope;
    Clock::time_point lastFrame = Clock::now();
};

void configure(winampVisModule*);
int initModule(winampVisModule* module);
int renderModule(winampVisModule* module);
void quitModule(winampVisModule* module);
winampVisModule* getModule(int index);

winampVisModule makeModule(char* name, int spectrumChannels, int waveformChannels) {
    winampVisModule module{};
    module.description = name;
    module.latencyMs = kDelayMs;
    module.delayMs = kDelayMs;
    module.spectrumNch = spectrumChannels;
    module.waveformNch = waveformChannels;
    module.Config = configure;
    module.Init = initModule;
    module.Render = renderModule;
    module.Quit = quitModule;
    return module;
}

// The records the host reads and writes (the interface hands out pointers to
// them); the window of each running module beside them.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): the interface's records
char g_headerName[] = "Quillet visualisations";
char g_bandsName[] = "Spectrum analyser";
char g_scopeName[] = "Oscilloscope";
winampVisModule g_modules[2] = {makeModule(g_bandsName, 2, 0), makeModule(g_scopeName, 0, 2)};
winampVisHeader g_header = {VIS_HDRVER, g_headerName, getModule};
// Owned, created by Init and destroyed by Quit. Plain pointers, so that loading
// the library registers no destructor to run at unload or exit.
Running* g_running[2] = {};
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

int indexOf(const winampVisModule* module) {
    for (int i = 0; i < 2; ++i) {
        if (module == &g_modules[i]) return i;
    }
    return -1;
}

bool isBands(const winampVisModule* module) {
    return module == &g_modules[0];
}

void stop(int index) {
    std::unique_ptr<Running> ending(std::exchange(g_running[index], nullptr));
}

void drawFrame(winampVisModule* module, Running& run, double elapsedSeconds) {
    if (isBands(module))
        run.bands.draw(run.window.canvas(), module->spectrumData, module->spectrumNch, module->sRate,
                       elapsedSeconds);
    else
        run.scope.draw(run.window.canvas(), module->waveformData, module->waveformNch);
    run.window.present();
}

// Nothing to set: the window is sized by the user.
void configure(winampVisModule*) {}

int initModule(winampVisModule* module) {
    const int index = indexOf(module);
    if (index < 0) return 1;
    stop(index);
    auto run = std::make_unique<Running>();
    // Our own names: the host may have written anything into the record.
    const std::string title = std::string("Quillet - ") + (isBands(module) ? g_bandsName : g_scopeName);
    if (!run->window.open(title, module->hDllInstance)) return 1;
    Running* raw = run.get();
    // A resize or an exposure while no frame comes (paused): draw the last data again.
    run->window.setRedraw([module, raw] { drawFrame(module, *raw, 0); });
    const HWND standIn = run->window.standIn();
    g_running[index] = run.release();
    if (module->hwndParent != nullptr)
        SendMessage(module->hwndParent, WM_WA_IPC, reinterpret_cast<WPARAM>(standIn), IPC_SETVISWND);
    return 0;
}

int renderModule(winampVisModule* module) {
    const int index = indexOf(module);
    if (index < 0 || g_running[index] == nullptr) return 1;
    Running& run = *g_running[index];
    if (!run.window.pump()) return 1;
    const auto now = Clock::now();
    drawFrame(module, run, std::chrono::duration<double>(now - run.lastFrame).count());
    run.lastFrame = now;
    return 0;
}

void quitModule(winampVisModule* module) {
    const int index = indexOf(module);
    if (index >= 0) stop(index);
}

winampVisModule* getModule(int index) {
    return index >= 0 && index < 2 ? &g_modules[index] : nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(void) {
    return &g_header;
}
