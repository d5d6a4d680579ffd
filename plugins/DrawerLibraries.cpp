#include "plugins/DrawerLibraries.h"

#include <dlfcn.h>

namespace quillet::plugins {

namespace {

// The mini-browser library's entry points; the order gives the indexes below.
constexpr std::array<const char*, 14> kMiniBrowserEntries = {
    "InitMiniBrowser",      "ShowMiniBrowser",  "MBNavigate",      "MBNavigate2",   "AddMagneticWindow",
    "RemoveMagneticWindow", "GetSubClass_Proc", "QuitMiniBrowser", "InitGenDrawer", "ShowGenDrawer",
    "QuitGenDrawer",        "GetGenDrawerInfo", "GetGenexBitmap",  "GetLyricsText"};
constexpr size_t kInitMiniBrowser = 0;
constexpr size_t kGetSubClassProc = 6;
constexpr size_t kQuitMiniBrowser = 7;
constexpr size_t kQuitGenDrawer = 10;
constexpr int kGenDrawers = 8;

constexpr std::array<const char*, 3> kVisDrawerEntries = {"RunVisDrawer", "QuitVisDrawer", "VisDrawerActive"};

using InitMiniBrowserFn = HWND (*)(void* library, HWND owner, HWND messageWindow, UINT message);
using GetSubClassProcFn = void* (*)();
using QuitMiniBrowserFn = void (*)();
using QuitGenDrawerFn = void (*)(int index);

template <typename Fn>
Fn as(void* entry) {
    return reinterpret_cast<Fn>(entry);
}

}  // namespace

bool TDrawerLibrary::Load(const std::string& folder) {
    if (m_handle) return true;
    static_assert(kMaxEntries >= kMiniBrowserEntries.size());
    const std::string path = folder + m_fileName;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    for (size_t i = 0; i < m_count; ++i) {
        m_entries[i] = dlsym(handle, m_names[i]);
        if (!m_entries[i]) {
            m_entries = {};
            dlclose(handle);
            return false;
        }
    }
    m_handle = handle;
    return true;
}

void TDrawerLibrary::Unload() {
    if (!m_handle) return;
    dlclose(m_handle);
    m_handle = nullptr;
    m_entries = {};
}

TMiniBrowserLibrary::TMiniBrowserLibrary() : TDrawerLibrary(kFileName, kMiniBrowserEntries) {}

HWND TMiniBrowserLibrary::Start(const std::string& folder, HWND owner, HWND messageWindow, UINT message) {
    if (!Load(folder)) return nullptr;
    HWND window = as<InitMiniBrowserFn>(Entry(kInitMiniBrowser))(Handle(), owner, messageWindow, message);
    if (!window) Unload();
    return window;
}

void* TMiniBrowserLibrary::SubClassProc() const {
    return Loaded() ? as<GetSubClassProcFn>(Entry(kGetSubClassProc))() : nullptr;
}

void TMiniBrowserLibrary::QuitAll() const {
    if (!Loaded()) return;
    as<QuitMiniBrowserFn>(Entry(kQuitMiniBrowser))();
    for (int i = 0; i < kGenDrawers; ++i) as<QuitGenDrawerFn>(Entry(kQuitGenDrawer))(i);
}

TVisDrawerLibrary::TVisDrawerLibrary() : TDrawerLibrary(kFileName, kVisDrawerEntries) {}

}  // namespace quillet::plugins
