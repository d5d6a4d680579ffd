#include "tests/vis/VisTest.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace vistest {

namespace {

void* probeLibrary() {
    // One load per process.
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
    static void* lib = dlopen(QUILLET_VIS_PROBE, RTLD_NOW | RTLD_LOCAL);
    if (!lib) ADD_FAILURE() << dlerror();
    return lib;
}

template <class F>
F probeFunction(const char* name) {
    return reinterpret_cast<F>(dlsym(probeLibrary(), name));
}

}  // namespace

bool pumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        quillet::win::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

void Probe::configure(const std::string& options) {
    probeFunction<void (*)(const char*)>("probe_configure")(options.c_str());
}

std::string Probe::log() {
    char* text = probeFunction<char* (*)()>("probe_log")();
    std::string s = text ? text : "";
    // The probe's strdup.
    free(text);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    return s;
}

int Probe::renders() {
    return probeFunction<int (*)()>("probe_renders")();
}

std::vector<unsigned char> Probe::last(int kind, int channel) {
    std::vector<unsigned char> out(kVisChannelBytes);
    probeFunction<void (*)(int, int, unsigned char*)>("probe_last")(kind, channel, out.data());
    return out;
}

HWND Probe::window() {
    return probeFunction<HWND (*)()>("probe_window")();
}

HWND Probe::frame() {
    return probeFunction<HWND (*)()>("probe_frame")();
}

void Probe::setEmbedFunction(embedWindowFunc f) {
    probeFunction<void (*)(embedWindowFunc)>("probe_embed_function")(f);
}

void Probe::announce(HWND parent, bool on) {
    probeFunction<void (*)(HWND, int)>("probe_announce")(parent, on ? 1 : 0);
}

int Probe::count(const std::string& prefix) {
    std::istringstream in(log());
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) ++n;
    return n;
}

EngineWindow::EngineWindow(UINT message) : m_message(message) {
    WNDCLASS wc{};
    wc.lpfnWndProc = &EngineWindow::proc;
    wc.lpszClassName = "VisTestEngine";
    RegisterClass(&wc);
    m_hwnd = CreateWindowEx(0, "VisTestEngine", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtr(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

EngineWindow::~EngineWindow() {
    SetWindowLongPtr(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
}

LRESULT EngineWindow::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EngineWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (self && msg == self->m_message) {
        Notice n{wParam, lParam != 0, {}, {}, {}};
        if (lParam && (wParam == kVisStarted || wParam == kVisWindowMoved))
            n.info = *reinterpret_cast<const TVisPluginInfo*>(lParam);
        if (lParam && wParam == kVisParamsChosen) n.params = *reinterpret_cast<const TVisParams*>(lParam);
        if (lParam && wParam == kVisPlayFile) n.text = reinterpret_cast<const char*>(lParam);
        self->notices.push_back(n);
        return 0;
    }
    if (self && msg == WM_PLUGIN_REQUEST) self->requests.push_back(wParam);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

int EngineWindow::count(WPARAM code) const {
    int n = 0;
    for (const Notice& notice : notices) n += notice.code == code;
    return n;
}

bool EngineWindow::waitFor(WPARAM code, int timeoutMs, int times) {
    return pumpUntil([&] { return count(code) >= times; }, timeoutMs);
}

// Counted by a window procedure.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
int OwnerWindow::ownMessages = 0;

OwnerWindow::OwnerWindow() {
    WNDCLASS wc{};
    wc.lpfnWndProc = &OwnerWindow::proc;
    wc.lpszClassName = "VisTestOwner";
    RegisterClass(&wc);
    m_hwnd = CreateWindowEx(0, "VisTestOwner", "owner", WS_POPUP, 100, 100, 200, 20, nullptr, nullptr,
                            nullptr, nullptr);
    ownMessages = 0;
}

OwnerWindow::~OwnerWindow() {
    DestroyWindow(m_hwnd);
}

LRESULT OwnerWindow::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_USER || msg == WM_COPYDATA || msg == WM_COMMAND) ++ownMessages;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace vistest
