// What the player loads and starts beside itself: the audio library with its sound
// device, the library's add-ons and the plug-in host, each with its readiness flag.
//
// The player calls the set-up steps in its own order (some of them show messages
// between the steps); each step records what it made ready. Teardown needs no code
// of the player: every part is released by its member, and members go bottom-up, so
// the member list below, read from the bottom, is the order of teardown.
//
// Threads: the user-interface thread, like the player.
#pragma once

#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/win/WinTypes.h"

// Runs a release function once when it goes, when a set-up step armed it.
class TReleaseOnExit {
  public:
    using Release = void (*)();
    TReleaseOnExit() = default;
    ~TReleaseOnExit() {
        if (m_release) m_release();
    }
    TReleaseOnExit(const TReleaseOnExit&) = delete;
    TReleaseOnExit& operator=(const TReleaseOnExit&) = delete;

    void Arm(Release release) { m_release = release; }

  private:
    Release m_release = nullptr;
};

class TEngineResources {
  public:
    enum class TMixerLoad { Absent, Ready, OtherVersion };

    // Loads the core library from the executable's folder.
    bool LoadCore();
    // The core library's version (BASS_GetVersion); 0 when it is not loaded.
    DWORD CoreVersion() const;
    // Opens the sound device on `window`; sets BASSReady.
    bool InitDevice(int device, HWND window);
    // Starts the plug-in host for the player's windows; sets BufferReady. The host is
    // shut down with these resources even when its start failed half-way.
    bool StartPluginHost(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage);
    // The add-ons found in `folder`: WMA (a plug-in of the core library), the mixer
    // (which must be of the core's version), CD (with its drive list) and MIDI.
    bool LoadWma(const std::string& folder);
    TMixerLoad LoadMixer(const std::string& folder);
    bool LoadCD(const std::string& folder);
    bool LoadMidi(const std::string& folder);

    bool BASSReady() const { return m_bassReady; }
    bool BufferReady() const { return m_bufferReady; }
    bool WMAReady() const { return m_wmaReady; }
    bool MixerReady() const { return m_mixerReady; }
    bool CDReady() const { return m_cdReady; }
    bool MIDIReady() const { return m_midiReady; }
    // One "<letter>: <product>" per CD drive, at most four.
    const std::vector<std::string>& CDDrives() const { return m_cdDrives; }

  private:
    // Released bottom-up.
    TReleaseOnExit m_pluginHost;  // last: after every library is gone
    TReleaseOnExit m_mixer;
    TReleaseOnExit m_midi;
    TReleaseOnExit m_cd;
    // First: the core library's plug-ins (WMA among them), then its device, then the
    // library itself. Unloading the core frees the device first.
    TReleaseOnExit m_core;

    bool m_bassReady = false;
    bool m_bufferReady = false;
    bool m_wmaReady = false;
    bool m_mixerReady = false;
    bool m_cdReady = false;
    bool m_midiReady = false;
    std::vector<std::string> m_cdDrives;
};
