#include "engine/bass/Dynamic_Bass.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "platform/log/Log.h"

// The binding mirrors libraries loaded once per process: one table each.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
TBassFunctions Bass;
TBassCDFunctions BassCD;
TBassMixFunctions BassMix;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

namespace {

struct Entry {
    const char* name;
    void** slot;
};

void logLoadFailure(const std::string& why) {
    quillet::log::write("binding", "library not loaded: " + why);
}

#define ENTRY(table, fn) Entry{#fn, reinterpret_cast<void**>(&(table).fn)}

// One loaded library: its dlopen handle and the slots its entry points fill.
class Binding {
  public:
    template <size_t N>
    explicit Binding(const Entry (&entries)[N]) : m_entries(entries), m_count(N) {}

    bool load(const std::string& path) {
        if (m_handle) return true;
        if (path.empty()) return false;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            logLoadFailure(dlerror());
            return false;
        }
        for (size_t i = 0; i < m_count; ++i) {
            void* fn = dlsym(handle, m_entries[i].name);
            if (!fn) {
                logLoadFailure(path + " lacks " + m_entries[i].name);
                clear();
                dlclose(handle);
                return false;
            }
            *m_entries[i].slot = fn;
        }
        m_handle = handle;
        return true;
    }
    void unload() {
        if (!m_handle) return;
        clear();
        dlclose(m_handle);
        m_handle = nullptr;
    }
    bool loaded() const { return m_handle != nullptr; }

  private:
    void clear() {
        for (size_t i = 0; i < m_count; ++i) *m_entries[i].slot = nullptr;
    }
    const Entry* m_entries;
    size_t m_count;
    void* m_handle = nullptr;
};

const Entry kBassEntries[] = {
    ENTRY(Bass, BASS_GetVersion),          ENTRY(Bass, BASS_ErrorGetCode),
    ENTRY(Bass, BASS_SetConfig),           ENTRY(Bass, BASS_Init),
    ENTRY(Bass, BASS_GetInfo),             ENTRY(Bass, BASS_Free),
    ENTRY(Bass, BASS_PluginLoad),          ENTRY(Bass, BASS_PluginFree),
    ENTRY(Bass, BASS_StreamCreate),        ENTRY(Bass, BASS_StreamCreateFile),
    ENTRY(Bass, BASS_StreamCreateURL),     ENTRY(Bass, BASS_StreamFree),
    ENTRY(Bass, BASS_StreamGetFilePosition), ENTRY(Bass, BASS_MusicLoad),
    ENTRY(Bass, BASS_MusicFree),           ENTRY(Bass, BASS_ChannelGetInfo),
    ENTRY(Bass, BASS_ChannelGetTags),      ENTRY(Bass, BASS_ChannelIsActive),
    ENTRY(Bass, BASS_ChannelPlay),         ENTRY(Bass, BASS_ChannelPause),
    ENTRY(Bass, BASS_ChannelStop),         ENTRY(Bass, BASS_ChannelGetLength),
    ENTRY(Bass, BASS_ChannelGetPosition),  ENTRY(Bass, BASS_ChannelSetPosition),
    ENTRY(Bass, BASS_ChannelBytes2Seconds), ENTRY(Bass, BASS_ChannelSeconds2Bytes),
    ENTRY(Bass, BASS_ChannelGetData),      ENTRY(Bass, BASS_ChannelSetAttribute),
    ENTRY(Bass, BASS_ChannelSlideAttribute), ENTRY(Bass, BASS_ChannelSetSync),
    ENTRY(Bass, BASS_ChannelRemoveSync),
};
const Entry kCDEntries[] = {
    ENTRY(BassCD, BASS_CD_GetInfo),
    ENTRY(BassCD, BASS_CD_StreamCreateFile),
    ENTRY(BassCD, BASS_CD_GetTrackLength),
};
const Entry kMixEntries[] = {ENTRY(BassMix, BASS_Mixer_GetVersion)};

// The libraries' handles, one per process like the tables they fill.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
Binding g_bass(kBassEntries);
Binding g_cd(kCDEntries);
Binding g_mix(kMixEntries);
void* g_midi = nullptr;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

}  // namespace

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, size_t(n));
    return path.substr(0, path.rfind('/') + 1);
}

bool Load_BASSDLL(const std::string& path) {
    return g_bass.load(path.empty() ? ExecutableFolder() + kBassLibrary : path);
}

void Unload_BASSDLL() {
    if (g_bass.loaded()) Bass.BASS_Free();
    g_bass.unload();
}

bool BASS_Loaded() { return g_bass.loaded(); }

bool Load_BASSCDDLL(const std::string& path) { return g_cd.load(path); }
void Unload_BASSCDDLL() { g_cd.unload(); }

bool Load_BASSMIDIDLL(const std::string& path) {
    if (g_midi || path.empty()) return g_midi != nullptr;
    g_midi = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!g_midi) logLoadFailure(dlerror());
    return g_midi != nullptr;
}

void Unload_BASSMIDIDLL() {
    if (g_midi) dlclose(g_midi);
    g_midi = nullptr;
}

bool Load_BASSMIXDLL(const std::string& path) { return g_mix.load(path); }
void Unload_BASSMIXDLL() { g_mix.unload(); }
