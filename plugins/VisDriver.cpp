#include "plugins/VisDriver.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/win/MessageLayer.h"
#include "plugins/VisWindowX11.h"
#include "plugins/WinampIPC.h"
#include "plugins/WinampVis.h"

namespace quillet::plugins {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindowSearchTries = 100;
constexpr uint32_t kWindowSearchStepMs = 50;
constexpr int kStartWaitTries = 100;
constexpr uint32_t kStartWaitStepMs = 30;
constexpr int kUnloadWaitTries = 100;
constexpr uint32_t kQuitUnloadStepMs = 50;
constexpr uint32_t kStopUnloadStepMs = 30;
constexpr uint32_t kThreadEndWaitMs = 3000;
constexpr uint32_t kWatchStepMs = 100;
// Init makes windows and Quit tears them down: they get longer than a frame.
constexpr uint32_t kInitLimitMs = 5000;
constexpr uint32_t kQuitLimitMs = 3000;
// A thread message of the driver's own: show the vis window again (it was announced
// anew after a withdrawal).
constexpr UINT kMsgReshow = WM_APP + 19;
// To the driver thread's helper window: make a frame (lParam: a TFrameRequest).
constexpr UINT kMsgMakeFrame = WM_APP + 20;
// How long a frame request from another thread waits for the driver thread.
constexpr uint32_t kFrameRequestMs = 3000;

// The frame window made for a plug-in that asks for one (IPC_GET_EMBEDIF).
constexpr char kFrameClass[] = "Winamp Gen";
constexpr char kFrameTitle[] = "Embed target";
constexpr DWORD kFrameExStyle = WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;  // 0x180
constexpr DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                              WS_MAXIMIZEBOX | WS_CLIPCHILDREN;  // 0x82CF0000
constexpr int kFrameWidth = 320, kFrameHeight = 240;
// Outer size for a requested client size: what the borders of a framed window add.
constexpr int kFrameBorderWidth = 8, kFrameBorderHeight = 26;
// The frame ignores this many moves made through the layer after its first show, so
// that a plug-in placing it on its own does not undo where the driver put it.
constexpr int kFrameHeldMoves = 2;
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameTimerMs = 100;  // how often the frame's X events are looked at
constexpr char kHelperClass[] = "QuilletVisDriver";

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct TContext {
    HWND owner = nullptr;
    HWND engine = nullptr;
    UINT message = 0;
    void* drawerLibrary = nullptr;  // the visualisation drawer library, null when absent
    std::mutex* lock = nullptr;
    VisDataBlock* block = nullptr;
};

// One run of one plug-in: everything the driver thread, the owner window's procedure
// (user-interface thread) and the hang watch share about it. A run that is given up
// stays with its thread and is never reused.
struct TRun {
    // Set before the thread starts.
    std::string file;
    int index = 0;
    DWORD ownerThread = 0;

    std::mutex lock;  // attrs
    TChannelAttrb attrs;
    std::atomic<uint8_t> mode{plmStandby};
    std::atomic<uint32_t> position{0};

    std::atomic<DWORD> threadId{0};
    std::atomic<bool> finished{false};
    std::atomic<bool> abandoned{false};
    std::atomic<bool> endReported{false};
    std::mutex doneLock;
    std::condition_variable done;  // finished or abandoned

    // The library: driver thread only, except the count.
    void* library = nullptr;
    winampVisModule* modules[kMaxVisModules] = {};
    std::atomic<int> count{0};
    int current = -1;
    bool initialised = false;  // the current module's Init succeeded and Quit is owed

    // The window.
    std::atomic<HWND> visWindow{nullptr};
    std::atomic<int> windowMode{0};
    std::atomic<WNDPROC> keptProc{nullptr};
    std::atomic<bool> shown{false};        // the first show was handled
    std::unique_ptr<TVisDesktop> desktop;  // driver thread only
    std::atomic<HWND> helper{nullptr};     // takes frame requests from other threads

    // The frames made for the plug-in (mode 3), driver thread only: the last one is
    // the vis window; where it goes, its border sizes and the moves still held.
    std::vector<HWND> frames;
    RECT framePlace{};
    int borderWidth = kFrameBorderWidth, borderHeight = kFrameBorderHeight;
    int heldMoves = 0;
    std::atomic<HWND> visChild{nullptr};  // the plug-in's window inside the frame

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> active{false};
    std::atomic<bool> moduleEnded{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> loopRunning{false};
    std::atomic<bool> quitting{false};
    std::atomic<bool> closedByUser{false};
    std::atomic<bool> restarted{false};
    std::atomic<int64_t> callSince{0};  // when the running plug-in call began, 0 when none
    std::atomic<uint32_t> callLimitMs{0};

    // What the engine is sent; written on the driver thread before the post that
    // carries its address.
    TVisParams params;
    TVisPluginInfo info;

    bool alive() const { return threadId != 0 && !finished && !abandoned; }
};

// The driver's one state per process.
struct TDriverState {
    std::mutex lock;  // context, run
    TContext context;
    std::shared_ptr<TRun> run;
    std::atomic<WNDPROC> ownerOldProc{nullptr};  // the owner window's own procedure
};
TDriverState& driver() {
    static TDriverState state;
    return state;
}

TContext context() {
    std::lock_guard lock(driver().lock);
    return driver().context;
}

std::shared_ptr<TRun> currentRun() {
    std::lock_guard lock(driver().lock);
    return driver().run;
}

void setRun(const std::shared_ptr<TRun>& run) {
    std::lock_guard lock(driver().lock);
    driver().run = run;
}

void postEngine(WPARAM code, LPARAM value) {
    const TContext c = context();
    if (c.engine) PostMessage(c.engine, c.message, code, value);
}

// The engine hears of a run's end once, whoever notices it first.
void reportEnded(TRun& run, bool send) {
    if (run.endReported.exchange(true)) return;
    const TContext c = context();
    if (!c.engine) return;
    if (send)
        SendMessage(c.engine, c.message, kVisEnded, 0);
    else
        PostMessage(c.engine, c.message, kVisEnded, 0);
}

void showError(const char* text, const char* caption = "Error") {
    MessageBox(context().owner, text, caption, MB_OK | MB_ICONERROR);
}

LRESULT CALLBACK_OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK_VisProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void replaceOwnerProc(HWND owner) {
    if (!owner || !IsWindow(owner)) return;
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtr(owner, GWLP_WNDPROC));
    if (current == &CALLBACK_OwnerProc) return;  // left in place by a run that was given up
    driver().ownerOldProc = current;
    SetWindowLongPtr(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CALLBACK_OwnerProc));
}

void restoreOwnerProc(HWND owner) {
    const WNDPROC old = driver().ownerOldProc;
    if (!owner || !old || !IsWindow(owner)) return;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtr(owner, GWLP_WNDPROC)) == &CALLBACK_OwnerProc)
        SetWindowLongPtr(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
}

void notifyDone(TRun& run) {
    std::lock_guard lock(run.doneLock);
    run.done.notify_all();
}

// Gives up a run whose thread does not come back: the engine hears that the plug-in
// ended, the owner window gets its procedure back, nobody waits for the thread again.
void abandon(TRun& run) {
    if (run.finished || run.abandoned.exchange(true)) return;
    restoreOwnerProc(context().owner);
    reportEnded(run, false);
    notifyDone(run);
}

// Waits on the user-interface thread, processing its messages, until `ready` or the
// time is up.
template <class F>
bool waitProcessing(uint32_t totalMs, uint32_t stepMs, F&& ready) {
    const int64_t until = nowMs() + totalMs;
    while (!ready()) {
        if (nowMs() >= until) return false;
        sleepMs(stepMs);
        win::ProcessMessages();
    }
    return true;
}

// ---------------------------------------------------------------------------
// The library and its modules (driver thread)

// A call into the plug-in, watched: one that does not return within limitMs gives
// the run up (watchThread).
template <class F>
auto pluginCall(TRun& run, uint32_t limitMs, F&& call) {
    run.callLimitMs = limitMs;
    run.callSince = nowMs();
    auto result = call();
    run.callSince = 0;
    return result;
}

void unloadLibrary(TRun& run) {
    if (run.current >= 0 && run.initialised) {
        winampVisModule* module = run.modules[run.current];
        if (module->Quit)
            pluginCall(run, kQuitLimitMs, [&] {
                module->Quit(module);
                return 0;
            });
    }
    run.initialised = false;
    if (run.library) dlclose(run.library);
    run.library = nullptr;
    std::fill(std::begin(run.modules), std::end(run.modules), nullptr);
    run.count = 0;
    run.current = -1;
}

void loadLibrary(TRun& run, HWND owner) {
    unloadLibrary(run);
    run.library = dlopen(run.file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!run.library) {
        showError("Failed loading vis module");
        return;
    }
    auto getHeader = reinterpret_cast<winampVisGetHeaderType>(dlsym(run.library, "winampVisGetHeader"));
    winampVisHeader* header = getHeader ? getHeader() : nullptr;
    if (!header || !header->getModule) {
        dlclose(run.library);
        run.library = nullptr;
        return;
    }
    int count = 0;
    // At most eight modules, whether or not the table ends with a null.
    for (; count < kMaxVisModules; ++count) {
        winampVisModule* module = header->getModule(count);
        if (!module) break;
        module->hwndParent = owner;
        module->hDllInstance = run.library;
        run.modules[count] = module;
    }
    run.count = count;
    run.current = -1;
}

// 0 on success; -1 no modules, -2 index beyond them, -3 already current, else the
// module's Init result.
int initModule(TRun& run, int index) {
    if (run.count == 0) return -1;
    if (index >= run.count || index < 0) return -2;
    if (index == run.current) return -3;
    if (run.current >= 0 && run.initialised) {
        winampVisModule* old = run.modules[run.current];
        if (old->Quit) old->Quit(old);
    }
    run.initialised = false;
    run.current = index;
    winampVisModule* module = run.modules[index];
    {
        std::lock_guard lock(run.lock);
        module->sRate = int(run.attrs.SampleRate);
        module->nCh = run.attrs.Channels;
    }
    const int result = module->Init ? pluginCall(run, kInitLimitMs, [&] { return module->Init(module); }) : 1;
    if (result != 0) {
        showError("Failed initializing vis module");
        return result;
    }
    run.initialised = true;
    return 0;
}

void render(TRun& run) {
    const TContext c = context();
    if (run.quitRequested || run.moduleEnded || run.lost || !run.active || !c.block || run.current < 0)
        return;
    VisDataBlock& block = *c.block;
    if (block.dataReady.load(std::memory_order_acquire) == 0) return;
    winampVisModule* module = run.modules[run.current];
    module->sRate = int(block.dataSampleRate);
    module->nCh = int(block.dataChannels);
    run.position = block.position;
    const uint8_t* from = block.data;
    const int spectra = std::clamp(module->spectrumNch, 0, kVisMaxChannels);
    const int waves = std::clamp(module->waveformNch, 0, kVisMaxChannels);
    for (int ch = 0; ch < spectra; ++ch, from += kVisChannelBytes)
        std::memcpy(module->spectrumData[ch], from, kVisChannelBytes);
    for (int ch = 0; ch < waves; ++ch, from += kVisChannelBytes)
        std::memcpy(module->waveformData[ch], from, kVisChannelBytes);
    block.dataReady.store(0, std::memory_order_release);
    int result = 1;
    try {
        result = module->Render ? pluginCall(run, kRenderHangMs, [&] { return module->Render(module); }) : 1;
    } catch (...) {
        result = 1;  // an exception out of a plug-in ends it as a refusal would
    }
    if (run.abandoned) return;
    if (result != 0) {
        // The module asked to end: it is quit now and never rendered again; its
        // window stays until it is closed.
        if (module->Quit)
            pluginCall(run, kQuitLimitMs, [&] {
                module->Quit(module);
                return 0;
            });
        run.initialised = false;
        run.moduleEnded = true;
    }
}

// ---------------------------------------------------------------------------
// The vis window (driver thread)

TVisPluginInfo makeInfo(TRun& run) {
    TVisPluginInfo info;
    info.ThreadId = run.threadId;
    info.VisWindow = run.visWindow.load();
    info.WindowMode = uint32_t(run.windowMode.load());
    info.PluginFile = run.file;
    info.ModuleIndex = run.index;
    info.FirstStart = !run.restarted;
    return info;
}

LPARAM packPoint(LONG x, LONG y) {
    return static_cast<LPARAM>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// Fits the plug-in's window to the frame's client area (the frame minus its borders).
void fitChild(TRun& run) {
    const HWND child = run.visChild;
    RECT frame;
    if (!child || !IsWindow(child) || !GetWindowRect(run.visWindow, &frame)) return;
    MoveWindow(child, 0, 0, std::max<LONG>(frame.right - frame.left - run.borderWidth, 0),
               std::max<LONG>(frame.bottom - frame.top - run.borderHeight, 0), TRUE);
}

// The first show of a window found or announced: place it, mark it active and tell
// the engine.
void onShown(TRun& run) {
    const HWND window = run.visWindow;
    if (!window) return;
    const TContext c = context();
    if (run.windowMode == 1 && run.desktop) run.desktop->placeBesideOwner(window, c.owner);
    if (run.windowMode == 3) {
        const RECT& at = run.framePlace;
        MoveWindow(window, at.left, at.top, at.right - at.left, at.bottom - at.top, TRUE);
        run.heldMoves = kFrameHeldMoves;
        // A window the plug-in made inside the frame on its own is its drawing window.
        if (!run.visChild) run.visChild = FindWindowEx(window, nullptr, nullptr, nullptr);
        if (run.visChild && run.desktop) run.desktop->embedChild(window, run.visChild);
        fitChild(run);
    }
    run.active = true;
    run.shown = true;
    // The frame is the driver's: it shows it, whether or not the plug-in does.
    if (run.windowMode == 3 && !IsWindowVisible(window)) ShowWindow(window, SW_SHOW);
    run.info = makeInfo(run);
    postEngine(kVisStarted, reinterpret_cast<LPARAM>(&run.info));
}

void onDestroyed(TRun& run) {
    run.active = false;
    if (!run.quitRequested && !run.closedByUser) postEngine(kVisWindowInactive, 0);
    if (run.loopRunning && !run.quitting) {
        run.moduleEnded = true;
        PostThreadMessage(run.threadId, WM_QUIT, 0, 0);
    }
    // The plug-in's window goes with the frame when it is the driver thread's.
    const HWND child = run.visChild.exchange(nullptr);
    if (run.windowMode == 3 && child && IsWindow(child) &&
        GetWindowThreadProcessId(child, nullptr) == run.threadId)
        DestroyWindow(child);
    run.windowMode = 0;
    run.visWindow = nullptr;
}

LRESULT CALLBACK_VisProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto run = currentRun();
    const WNDPROC kept = run && run->visWindow == hwnd ? run->keptProc.load() : nullptr;
    auto next = [&] {
        return kept ? CallWindowProc(kept, hwnd, msg, wParam, lParam)
                    : DefWindowProc(hwnd, msg, wParam, lParam);
    };
    if (!run || run->visWindow != hwnd) return next();
    const bool frame = run->windowMode == 3;
    switch (msg) {
        case WM_SHOWWINDOW:
            if (wParam && !run->shown) {
                const LRESULT r = next();
                onShown(*run);
                return r;
            }
            if (wParam) run->active = true;
            return next();
        case WM_WINDOWPOSCHANGING:
            if (frame && run->heldMoves > 0 && lParam) {
                --run->heldMoves;
                auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
                const RECT& at = run->framePlace;
                pos->x = at.left;
                pos->y = at.top;
                pos->cx = at.right - at.left;
                pos->cy = at.bottom - at.top;
            }
            return next();
        case WM_SIZE:
            if (frame) fitChild(*run);
            return next();
        case WM_DESTROY: {
            const LRESULT r = next();
            onDestroyed(*run);
            return r;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                postEngine(kVisWindowInactive, 0);
                run->closedByUser = true;
                PostThreadMessage(run->threadId, WM_QUIT, 0, 0);
                return 0;
            }
            return next();
        default:
            return next();
    }
}

// Takes a window the plug-in made or announced as the vis window: the driver's
// procedure goes in front of its own (a frame has the driver's from the start).
void adoptWindow(TRun& run, HWND window) {
    run.visWindow = window;
    if (run.windowMode == 0) run.windowMode = 1;
    if (run.windowMode != 1) return;
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtr(window, GWLP_WNDPROC));
    if (current != &CALLBACK_VisProc) {
        run.keptProc = current;
        SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CALLBACK_VisProc));
    }
}

// ---------------------------------------------------------------------------
// The frame window for plug-ins that ask for one (driver thread)

// What the user and other clients did to a frame's X window.
void CALLBACK_FrameTimer(HWND, UINT, UINT_PTR, DWORD) {
    auto run = currentRun();
    if (!run || !run->desktop || run->threadId != GetCurrentThreadId()) return;
    for (const auto& [frame, event] : run->desktop->pump()) {
        if (!IsWindow(frame)) continue;
        switch (event) {
            case TVisDesktop::TFrameEvent::kMoved: {
                // Moved or resized by the user: the driver no longer holds it.
                if (frame == run->visWindow) run->heldMoves = 0;
                RECT r;
                if (!GetWindowRect(frame, &r)) break;
                SendMessage(frame, WM_MOVE, 0, packPoint(r.left, r.top));
                SendMessage(frame, WM_SIZE, 0, packPoint(r.right - r.left, r.bottom - r.top));
                break;
            }
            case TVisDesktop::TFrameEvent::kClosed:
                SendMessage(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            case TVisDesktop::TFrameEvent::kDestroyed:
                DestroyWindow(frame);
                break;
        }
    }
}

struct TFrameRequest {
    embedWindowState state{};
    bool hasState = false;
};

LRESULT CALLBACK_HelperProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

bool registerClasses() {
    static const bool registered = [] {
        WNDCLASS frame{};
        frame.lpfnWndProc = &CALLBACK_VisProc;
        frame.lpszClassName = kFrameClass;
        WNDCLASS helper{};
        helper.lpfnWndProc = &CALLBACK_HelperProc;
        helper.lpszClassName = kHelperClass;
        return RegisterClass(&frame) != 0 && RegisterClass(&helper) != 0;
    }();
    return registered;
}

// Makes the frame for a plug-in's embed state (or none): the vis window, in mode 3.
HWND makeFrame(TRun& run, embedWindowState* state) {
    if (!run.desktop || !registerClasses()) return nullptr;
    TVisDesktop& desk = *run.desktop;
    const TContext c = context();
    const LONG askedWidth = state ? state->r.right - state->r.left : 0;
    const LONG askedHeight = state ? state->r.bottom - state->r.top : 0;
    const bool sized = askedWidth > 0 && askedHeight > 0;
    const int width = sized ? int(askedWidth) : kFrameWidth, height = sized ? int(askedHeight) : kFrameHeight;
    const auto ownerRect = c.owner && IsWindow(c.owner) ? desk.screenRect(c.owner) : std::nullopt;
    const POINT at = EmbedFramePosition(ownerRect ? &*ownerRect : nullptr, state != nullptr, width, height,
                                        desk.screenWidth(), desk.screenHeight());
    RECT outer{at.x, at.y, at.x + (sized ? width + kFrameBorderWidth : kFrameWidth),
               at.y + (sized ? height + kFrameBorderHeight - 1 : kFrameHeight - 1)};
    if (const auto work = desk.workArea()) outer = KeepInside(outer, *work);

    const HWND frame = CreateWindowEx(kFrameExStyle, kFrameClass, kFrameTitle, kFrameStyle, outer.left,
                                      outer.top, outer.right - outer.left, outer.bottom - outer.top, c.owner,
                                      nullptr, nullptr, nullptr);
    if (!frame) return nullptr;
    if (desk.attachFrame(frame, c.owner, outer, kFrameTitle))
        SetTimer(frame, kFrameTimer, kFrameTimerMs, &CALLBACK_FrameTimer);
    run.frames.push_back(frame);
    RECT windowRect, clientRect;
    if (GetWindowRect(frame, &windowRect) && GetClientRect(frame, &clientRect)) {
        run.borderWidth = int((windowRect.right - windowRect.left) - clientRect.right);
        run.borderHeight = int((windowRect.bottom - windowRect.top) - clientRect.bottom);
    } else {
        run.borderWidth = kFrameBorderWidth;
        run.borderHeight = kFrameBorderHeight;
    }
    run.framePlace = outer;
    run.heldMoves = 0;
    run.keptProc = nullptr;
    run.visChild = nullptr;
    run.visWindow = frame;
    run.windowMode = 3;
    if (state && state->me && state->me != frame && IsWindow(state->me)) {
        // The plug-in's window moves into the frame.
        SetParent(state->me, frame);
        desk.embedChild(frame, state->me);
        run.visChild = state->me;
        fitChild(run);
        return frame;
    }
    if (state) state->me = frame;
    return frame;
}

LRESULT CALLBACK_HelperProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kMsgMakeFrame || !lParam) return DefWindowProc(hwnd, msg, wParam, lParam);
    // The sender handed the request over; it may have stopped waiting.
    const std::unique_ptr<std::shared_ptr<TFrameRequest>> carried(
        reinterpret_cast<std::shared_ptr<TFrameRequest>*>(lParam));
    auto run = currentRun();
    if (!run || run->threadId != GetCurrentThreadId() || !*carried) return 0;
    TFrameRequest& request = **carried;
    return reinterpret_cast<LRESULT>(makeFrame(*run, request.hasState ? &request.state : nullptr));
}

// The embed function handed to plug-ins: the frame is made on the driver thread,
// whichever thread asks.
HWND CALLBACK_EmbedWindow(embedWindowState* state) {
    auto run = currentRun();
    if (!run || !run->alive()) return nullptr;
    if (run->threadId == GetCurrentThreadId()) return makeFrame(*run, state);
    const HWND helper = run->helper;
    if (!helper) return nullptr;
    auto request = std::make_shared<TFrameRequest>();
    if (state) {
        request->state = *state;
        request->hasState = true;
    }
    // The helper's procedure owns the carrier once the message is handed over.
    auto* carried = new std::shared_ptr<TFrameRequest>(request);  // NOLINT(cppcoreguidelines-owning-memory)
    LRESULT frame = 0;
    if (!SendMessageTimeout(helper, kMsgMakeFrame, 0, reinterpret_cast<LPARAM>(carried), SMTO_NORMAL,
                            kFrameRequestMs, &frame)) {
        // Not handed over at all: still ours. A late answer is dropped.
        if (GetLastError() != ERROR_TIMEOUT) delete carried;  // NOLINT(cppcoreguidelines-owning-memory)
        return nullptr;
    }
    if (state) *state = request->state;
    return reinterpret_cast<HWND>(frame);
}

struct TSearch {
    DWORD driverThread;
    DWORD ownerThread;
    HWND owner;
    HWND found;
};

BOOL CALLBACK_FindVisWindow(HWND hwnd, LPARAM lParam) {
    auto* s = reinterpret_cast<TSearch*>(lParam);
    if (hwnd == s->owner || !IsWindowVisible(hwnd)) return TRUE;
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    // Windows of the layer all belong to this process; the plug-in may make its
    // window on a thread of its own, but never on the user-interface thread.
    if (thread == s->driverThread || (thread != 0 && thread != s->ownerThread)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND searchWindow(TRun& run, HWND owner) {
    for (int i = 0; i < kWindowSearchTries && !run.quitRequested; ++i) {
        if (HWND announced = run.visWindow) return announced;
        TSearch s{run.threadId, run.ownerThread, owner, nullptr};
        EnumWindows(&CALLBACK_FindVisWindow, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        sleepMs(kWindowSearchStepMs);
        win::ProcessMessages();
    }
    return run.visWindow;
}

void handleThreadCode(TRun& run, WPARAM code) {
    const TContext c = context();
    switch (code) {
        case kVisNewData:
            render(run);
            break;
        case kVisDataNotTaken:
            if (c.block) c.block->dataReady.store(0, std::memory_order_release);
            break;
        case kVisModeChanged:
            if (c.block && c.lock) {
                std::lock_guard lock(*c.lock);
                run.mode = uint8_t(c.block->mode);
            }
            break;
        case kVisInfoChanged:
            if (c.block && c.lock) {
                std::scoped_lock lock(*c.lock, run.lock);
                const VisDataBlock& b = *c.block;
                run.attrs.SampleRate = b.sampleRate;
                run.attrs.BitRate = b.bitRate;
                run.attrs.Channels = uint16_t(b.channels);
                run.attrs.Duration = b.duration;
                run.attrs.Title.assign(b.title, strnlen(b.title, sizeof b.title));
                run.attrs.FileName.assign(b.fileName, strnlen(b.fileName, sizeof b.fileName));
            }
            break;
        case kVisEndModule:
            if (run.windowMode != 3 && IsWindow(run.visWindow) && run.keptProc)
                SetWindowLongPtr(run.visWindow, GWLP_WNDPROC,
                                 reinterpret_cast<LONG_PTR>(run.keptProc.load()));
            unloadLibrary(run);
            break;
        case kVisHide:
            if (IsWindow(run.visWindow)) ShowWindow(run.visWindow, SW_HIDE);
            break;
        case kVisShow:
            if (IsWindow(run.visWindow)) ShowWindow(run.visWindow, SW_SHOW);
            break;
        default:
            // Moving into an embed target (45) needs a target, which this program
            // never gives; the drawer library (66) is absent on this platform.
            break;
    }
}

// The vis window was announced again after a withdrawal: the plug-in's own window is
// taken up and shown anew; a frame, which stayed the vis window, is shown again.
void reshow(TRun& run) {
    const HWND window = run.visWindow;
    if (!IsWindow(window)) return;
    if (run.windowMode == 3) {
        ShowWindow(window, SW_SHOW);
        run.active = true;
        return;
    }
    adoptWindow(run, window);
    run.shown = false;
    SendMessage(window, WM_SHOWWINDOW, TRUE, 0);
}

void cleanup(TRun& run, HWND owner) {
    run.loopRunning = false;
    run.active = false;
    if (!run.abandoned) unloadLibrary(run);
    // The frames go after the plug-in has let go of its windows in them.
    for (const HWND frame : run.frames)
        if (IsWindow(frame)) DestroyWindow(frame);
    run.frames.clear();
    if (const HWND helper = run.helper.exchange(nullptr)) DestroyWindow(helper);
    run.desktop.reset();
    run.visWindow = nullptr;
    run.windowMode = 0;
    if (!run.abandoned) restoreOwnerProc(owner);
    if (!run.quitRequested && !run.abandoned) reportEnded(run, false);
    run.threadId = 0;
    run.finished = true;
    notifyDone(run);
}

void driverThread(const std::shared_ptr<TRun>& run) {
    TRun& r = *run;
    const HWND owner = context().owner;
    r.desktop = std::make_unique<TVisDesktop>();
    if (registerClasses())
        r.helper =
            CreateWindowEx(0, kHelperClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    replaceOwnerProc(owner);
    loadLibrary(r, owner);
    if (r.count == 0 || r.index >= r.count) {
        postEngine(kVisStarted, 0);
        cleanup(r, owner);
        return;
    }
    winampVisModule* module = r.modules[r.index];
    r.params = TVisParams{module->latencyMs, module->delayMs, module->spectrumNch, module->waveformNch};
    postEngine(kVisParamsChosen, reinterpret_cast<LPARAM>(&r.params));

    // A start that fails ends the thread: nothing would ever end it otherwise, and the
    // next start would wait for it.
    if (initModule(r, r.index) != 0) {
        postEngine(kVisStarted, 0);
        cleanup(r, owner);
        return;
    }
    const HWND window = searchWindow(r, owner);
    if (r.abandoned) {
        cleanup(r, owner);
        return;
    }
    if (!window) {
        postEngine(kVisStarted, 0);
        cleanup(r, owner);
        return;
    }
    adoptWindow(r, window);
    SendMessage(window, WM_SHOWWINDOW, TRUE, 0);

    r.loopRunning = true;
    const UINT message = context().message;
    MSG msg;
    while (!r.abandoned) {
        const BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            if (r.quitting) continue;
            break;
        }
        if (msg.hwnd == nullptr && msg.message == message && message != 0) {
            handleThreadCode(r, msg.wParam);
        } else if (msg.hwnd == nullptr && msg.message == kMsgReshow) {
            reshow(r);
        } else {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    cleanup(r, owner);
}

// The hang watch: gives a run up when its plug-in stays inside a call too long.
void watchThread(const std::shared_ptr<TRun>& run) {
    std::unique_lock lock(run->doneLock);
    while (!run->finished && !run->abandoned) {
        run->done.wait_for(lock, std::chrono::milliseconds(kWatchStepMs));
        const int64_t since = run->callSince;
        if (since != 0 && nowMs() - since > int64_t(run->callLimitMs.load()) && !run->finished) {
            lock.unlock();
            abandon(*run);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// The owner window while a plug-in runs (user-interface thread)

LRESULT announce(TRun& run, HWND window) {
    if (window) {
        const int mode = run.windowMode;
        if (mode == 3) {
            // The frame stays the vis window; a show it missed while the plug-in's
            // window was withdrawn is delivered now.
            if (run.lost.exchange(false) && run.threadId) PostThreadMessage(run.threadId, kMsgReshow, 0, 0);
            return 0;
        }
        const bool accepted = mode == 0 || (mode == 1 && (!run.shown || run.lost));
        if (!accepted) return 0;
        const bool wasLost = run.lost.exchange(false);
        if (run.moduleEnded.exchange(false)) run.restarted = true;
        run.visWindow = window;
        if (mode == 0) run.windowMode = 1;
        // Announced again after a withdrawal: the driver thread takes it up and shows it.
        if (wasLost && run.threadId) {
            run.restarted = true;
            PostThreadMessage(run.threadId, kMsgReshow, 0, 0);
        }
        return 0;
    }
    run.active = false;
    postEngine(kVisWindowInactive, 0);
    if (!run.quitRequested && !run.quitting) run.lost = true;
    return 0;
}

LRESULT ownerIPC(TRun& run, WPARAM wParam, LPARAM ipc) {
    switch (ipc) {
        case IPC_DELETE:
            postEngine(kVisUpdatePlayList, 0);
            return 0;
        case IPC_SETVISWND:
            return announce(run, reinterpret_cast<HWND>(wParam));
        case IPC_VISWND_ACTIVE:
            if (wParam == 0 || wParam == 1) {
                run.active = true;
                run.lost = false;
            }
            return 0;
        case IPC_VISWND_RELEASE:
            run.active = false;
            return 0;
        case IPC_GET_EMBEDIF:
            if (wParam == 0) return reinterpret_cast<LRESULT>(&CALLBACK_EmbedWindow);
            return reinterpret_cast<LRESULT>(
                CALLBACK_EmbedWindow(reinterpret_cast<embedWindowState*>(wParam)));
        default: {
            TMainWindowView view;
            view.mode = TPlayerMode(run.mode.load());
            view.position = run.position;
            {
                std::lock_guard lock(run.lock);
                view.attrs = run.attrs;
            }
            return MainWindowIPC(view, wParam, ipc);
        }
    }
}

LRESULT CALLBACK_OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC old = driver().ownerOldProc;
    auto next = [&] {
        return old ? CallWindowProc(old, hwnd, msg, wParam, lParam)
                   : DefWindowProc(hwnd, msg, wParam, lParam);
    };
    auto run = currentRun();
    if (!run || run->abandoned) return next();
    switch (msg) {
        case WM_WA_IPC:
            return ownerIPC(*run, wParam, lParam);
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH: {
            std::string title;
            {
                std::lock_guard lock(run->lock);
                title = run->attrs.Title;
            }
            if (msg == WM_GETTEXTLENGTH) return MainWindowTextLength(title);
            return CopyAnswerText(MainWindowText(title), reinterpret_cast<char*>(lParam), wParam);
        }
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (!data || data->dwData != IPC_PLAYFILE) return next();
            if (data->cbData == 0) return 0;
            const std::string name = CopyDataText(data);
            const TContext c = context();
            if (c.engine)
                SendMessage(c.engine, c.message, kVisPlayFile, reinterpret_cast<LPARAM>(name.c_str()));
            return 1;
        }
        case WM_COMMAND: {
            int request = -1;
            LRESULT answer = 0;
            if (!MainWindowCommand(TPlayerMode(run->mode.load()), wParam & 0xFFFF, request, answer))
                return next();
            const TContext c = context();
            if (request >= 0 && c.engine) PostMessage(c.engine, WM_PLUGIN_REQUEST, WPARAM(request), 0);
            return answer;
        }
        default:
            return next();
    }
}

// Ends the current run from the user-interface thread; unloadStepMs paces the wait
// for the library to go. Returns the run (null when there was none).
std::shared_ptr<TRun> endRun(uint32_t unloadStepMs) {
    auto run = currentRun();
    if (!run) return nullptr;
    run->quitRequested = true;
    run->active = false;
    if (run->alive()) {
        const DWORD thread = run->threadId;
        const UINT message = context().message;
        run->quitting = true;
        // The library goes first, also when the plug-in has no window any more.
        PostThreadMessage(thread, message, kVisEndModule, 0);
        waitProcessing(kUnloadWaitTries * unloadStepMs, unloadStepMs,
                       [&] { return run->count == 0 || !run->alive(); });
        if (run->count != 0 && run->alive()) showError("Error : VismodCounter non-zero");
        run->quitting = false;
        PostThreadMessage(thread, WM_QUIT, 0, 0);
        if (!waitProcessing(kThreadEndWaitMs, 10, [&] { return !run->alive(); })) abandon(*run);
    }
    {
        std::lock_guard lock(driver().lock);
        if (driver().run == run) driver().run = nullptr;
    }
    return run;
}

}  // namespace

embedWindowFunc VisEmbedFunction() {
    return &CALLBACK_EmbedWindow;
}

bool VisDriverRunning() {
    auto run = currentRun();
    return run && run->alive();
}

RECT PlaceBesideOwner(const RECT& owner, int width, int height, const RECT& work) {
    const int workW = work.right - work.left, workH = work.bottom - work.top;
    width = std::min(width, workW);
    height = std::min(height, workH);
    auto clampX = [&](int x) { return std::clamp(x, int(work.left), int(work.right) - width); };
    auto clampY = [&](int y) { return std::clamp(y, int(work.top), int(work.bottom) - height); };
    auto rect = [&](int x, int y) { return RECT{x, y, x + width, y + height}; };
    // Right or left of the owner, at its top as far as the work area lets it, as long
    // as the window still sits beside it (overlapping its height).
    const int y = clampY(owner.top);
    const bool besideVertically = y < owner.bottom && y + height > owner.top;
    if (besideVertically && owner.right + width <= work.right && owner.right >= work.left)
        return rect(owner.right, y);
    if (besideVertically && owner.left - width >= work.left && owner.left <= work.right)
        return rect(owner.left - width, y);
    // Above or below it (a strip along the bottom or top of the screen).
    const int x = clampX(owner.left);
    if (owner.top - height >= work.top && owner.top <= work.bottom) return rect(x, owner.top - height);
    if (owner.bottom + height <= work.bottom && owner.bottom >= work.top) return rect(x, owner.bottom);
    return rect(clampX(owner.right), y);
}

RECT KeepInside(const RECT& r, const RECT& area) {
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    const LONG x = std::max(std::min(r.left, area.right - width), area.left);
    const LONG y = std::max(std::min(r.top, area.bottom - height), area.top);
    return RECT{x, y, x + width, y + height};
}

POINT EmbedFramePosition(const RECT* owner, bool hasState, int width, int height, int screenWidth,
                         int screenHeight) {
    constexpr int kDefaultWidth = 320, kDefaultHeight = 240, kAboveGap = 34;
    if (owner) return POINT{owner->left, owner->top - height - kAboveGap};
    if (hasState) return POINT{(screenWidth - width) / 2, (screenHeight - height) / 2};
    return POINT{(screenWidth - kDefaultWidth) / 2, (screenHeight - kDefaultHeight) / 2};
}

}  // namespace quillet::plugins

using namespace quillet::plugins;

void SetVisDriverContext(HWND owner, HWND messageWindow, UINT message, void* drawerLibrary, std::mutex* lock,
                         int, VisDataBlock* block) {
    std::lock_guard guard(driver().lock);
    driver().context = TContext{owner, messageWindow, message, drawerLibrary, lock, block};
}

DWORD StartVisDriver(const std::string& fileName, int index, HWND, const TChannelAttrb& attrs,
                     TPlayerMode mode, bool, bool) {
    if (auto previous = currentRun(); previous && previous->alive()) {
        waitProcessing(kStartWaitTries * kStartWaitStepMs, kStartWaitStepMs,
                       [&] { return !previous->alive(); });
        if (previous->alive()) {
            showError("Error : DriveThreadId non-zero");
            return 0;
        }
    }
    if (fileName.empty() || index < 0) return 0;
    auto run = std::make_shared<TRun>();
    run->file = fileName;
    run->index = index;
    run->attrs = attrs;
    run->mode = uint8_t(mode);
    const HWND owner = context().owner;
    run->ownerThread = owner ? GetWindowThreadProcessId(owner, nullptr) : 0;
    setRun(run);
    std::promise<DWORD> started;
    auto startedId = started.get_future();
    try {
        std::thread([run, &started] {
            run->threadId = quillet::win::EnsureThreadQueue();
            started.set_value(run->threadId);
            driverThread(run);
        }).detach();
    } catch (const std::system_error&) {
        setRun(nullptr);
        showError("Error : Unable to create thread !", "Error!");
        return 0;
    }
    const DWORD id = startedId.get();
    try {
        std::thread(watchThread, run).detach();
    } catch (const std::system_error&) {
        // Without the watch a hung plug-in is only given up when it is quit.
    }
    return id;
}

void QuitVisDriver() {
    auto run = endRun(kQuitUnloadStepMs);
    if (run) {
        reportEnded(*run, true);
    } else {
        const TContext c = context();
        if (c.engine) SendMessage(c.engine, c.message, kVisEnded, 0);
    }
}

void StopVisDriver() {
    endRun(kStopUnloadStepMs);
}
