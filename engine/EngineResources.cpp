#include "engine/EngineResources.h"

#include <sys/stat.h>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/log/Log.h"
#include "platform/text/Text.h"
#include "plugins/PluginHost.h"

namespace {

constexpr DWORD kMaxCDDrives = 4;

bool fileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void releaseCore() {
    Bass.BASS_PluginFree(0);
    Unload_BASSDLL();
}

}  // namespace

bool TEngineResources::LoadCore() {
    if (!Load_BASSDLL("")) return false;
    m_core.Arm(&releaseCore);
    return true;
}

DWORD TEngineResources::CoreVersion() const {
    return BASS_Loaded() ? Bass.BASS_GetVersion() : 0;
}

bool TEngineResources::InitDevice(int device, HWND window) {
    m_bassReady = Bass.BASS_Init(device, 44100, 0, window, nullptr) != 0;
    return m_bassReady;
}

bool TEngineResources::StartPluginHost(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage) {
    m_pluginHost.Arm(&ShutdownPluginHost);
    m_bufferReady = InitPluginHost(messageWindow, owner, miniBrowser, notifyMessage);
    return m_bufferReady;
}

bool TEngineResources::LoadWma(const std::string& folder) {
    const std::string path = folder + kBassWmaLibrary;
    if (!fileExists(path)) return false;
    m_wmaReady = Bass.BASS_PluginLoad(path.c_str(), 0) != 0;
    if (!m_wmaReady) {
        quillet::log::write(
            "engine", path + " not attached (error code " + std::to_string(Bass.BASS_ErrorGetCode()) + ")");
    }
    return m_wmaReady;
}

TEngineResources::TMixerLoad TEngineResources::LoadMixer(const std::string& folder) {
    const std::string path = folder + kBassMixLibrary;
    if (!fileExists(path) || !Load_BASSMIXDLL(path)) return TMixerLoad::Absent;
    m_mixer.Arm(&Unload_BASSMIXDLL);
    m_mixerReady = (BassMix.BASS_Mixer_GetVersion() >> 16) == BASSVERSION;
    return m_mixerReady ? TMixerLoad::Ready : TMixerLoad::OtherVersion;
}

bool TEngineResources::LoadCD(const std::string& folder) {
    if (!Load_BASSCDDLL(folder + kBassCDLibrary)) return false;
    m_cd.Arm(&Unload_BASSCDDLL);
    m_cdReady = true;
    for (DWORD drive = 0; drive < kMaxCDDrives; ++drive) {
        BASS_CD_INFO cd{};
        if (!BassCD.BASS_CD_GetInfo(drive, &cd)) break;
        m_cdDrives.push_back(std::string(1, char('A' + cd.letter)) + ": " +
                             qtext::toUtf8(cd.product ? cd.product : ""));
    }
    return true;
}

bool TEngineResources::LoadMidi(const std::string& folder) {
    m_midiReady = Load_BASSMIDIDLL(folder + kBassMidiLibrary);
    if (m_midiReady) m_midi.Arm(&Unload_BASSMIDIDLL);
    return m_midiReady;
}
