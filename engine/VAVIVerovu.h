// The player component: plays local files through the audio library, by default
// through the plug-in host's fed output (dual-channel mode), keeps the player's
// state and reports to its owner through events.
//
// Threads: every operation, every event and the message window run on the thread
// that constructed the engine (the user-interface thread). Library callbacks and the
// fed output reach it only by messages posted to its message window.
//
// Waits: pausing, stopping, seeking and the end of a track wait for fades and for the
// output to drain while processing the thread's messages (ProcessMessages), so user
// commands and other notifications may run inside these calls. The engine must not
// be destroyed from inside such a wait (MessageWaitDepth() tells).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineResources.h"
#include "engine/StreamInfoReader.h"
#include "engine/Translation.h"
#include "engine/types/PlayerTypes.h"
#include "engine/types/StreamInfo.h"
#include "engine/types/VisData.h"
#include "platform/audio/bass.h"
#include "platform/win/WinTypes.h"
#include "plugins/DrawerLibraries.h"

class TVAVIVerovu;
class TVisDataThread;

using TNotifyModeChangeEvent =
    std::function<void(TVAVIVerovu* Sender, TPlayerMode OldMode, TPlayerMode NewMode)>;
using TNotifyEvent = std::function<void(TVAVIVerovu* Sender)>;
using TNotifyNewFFTDataEvent = std::function<void(TVAVIVerovu* Sender, const TBandOut& BandOut)>;
using TNotifyNetEvent = std::function<void(TVAVIVerovu* Sender, const std::string& Content)>;
using TNotifyEvent2 = std::function<void(TVAVIVerovu* Sender, uint32_t GenParam)>;
using TNotifyVisEvent = std::function<void(TVAVIVerovu* Sender, const TVisPluginInfo& VisWindowAttr)>;

class TVAVIVerovu {
  public:
    static constexpr int kDefaultDevice = 1;  // the sound server's default output
    static constexpr int kNoSoundDevice = 0;  // no sound, timed by the clock (tools, tests)

    // owner: the main form's window (0 in headless tools). device: the library's
    // output device; the program uses 1.
    explicit TVAVIVerovu(HWND owner, int device = kDefaultDevice);
    ~TVAVIVerovu();
    TVAVIVerovu(const TVAVIVerovu&) = delete;
    TVAVIVerovu& operator=(const TVAVIVerovu&) = delete;

    // Transport.
    bool Open(const std::string& name);
    void Play();
    void Pause(bool value);  // true pauses, false resumes
    void Stop();
    void Close();

    // Times in milliseconds.
    uint32_t Position() const;
    void SetPosition(uint32_t ms);  // seek
    uint32_t PlayLength() const;
    bool CanSeek() const;

    // Volume 0..255 (larger values are taken as 255); muting with a fade.
    uint32_t Volume() const { return m_volume; }
    void SetVolume(uint32_t value);
    void SetMuted(bool mute, uint32_t fadeTimeMs);
    bool Muted() const { return m_muted; }
    bool Fading() const { return m_fading; }

    // Dual-channel mode (false, the default) plays through the fed output. Takes
    // effect at the next successful Open.
    bool SingleChannel() const { return m_singleChannel; }
    void SetSingleChannel(bool value);

    // The scale of visualisation spectrum values; 256..1024 (others are ignored).
    uint32_t VisScale() const { return m_visScale; }
    void SetVisScale(uint32_t value);

    // Visualisation plug-ins: module Index of the library FileName runs in a window
    // of its own, fed by the visualisation-data thread. Quit ends it; Stop is the
    // shortened end used at destruction.
    void RunVisPlugin(const std::string& FileName, int Index);
    void QuitVisPlugin();
    void StopVisPlugin();
    bool VisActive() const { return m_visActive; }  // a plug-in window exists
    const TVisPluginInfo& VisPluginInfo() const { return m_visInfo; }
    TVisDataThread* VisDataThread() const { return m_visThread.get(); }

    // Stream information.
    bool GetStreamInfo(const std::string& name, TStreamInfo& info);
    bool ReadStreamInfo(const std::string& name, TStreamInfo& info);
    std::string NativeFileExts() const;

    // Read-only state.
    TPlayerMode Mode() const { return m_mode; }
    TStreamKind StreamKind() const { return m_streamKind; }
    const std::string& StreamName() const { return m_streamName; }
    const TStreamInfo& StreamInfo() const { return m_streamInfo; }
    const std::string& DecoderName() const { return m_decoderName; }
    const std::string& Version() const { return m_version; }
    const std::string& BASSDLLVer() const { return m_bassDllVer; }
    bool BASSReady() const { return m_resources.BASSReady(); }
    bool BufferReady() const { return m_resources.BufferReady(); }
    bool WMAReady() const { return m_resources.WMAReady(); }
    bool CDReady() const { return m_resources.CDReady(); }
    bool MIDIReady() const { return m_resources.MIDIReady(); }
    bool MixerReady() const { return m_resources.MixerReady(); }
    bool DX8EffectReady() const { return m_dx8EffectReady; }
    const std::vector<std::string>& CDDrives() const { return m_resources.CDDrives(); }
    const TBandOut& BandOut() const { return m_bandOut; }
    DWORD DecodeChannel() const { return m_decodeChannel; }
    DWORD OutputChannel() const { return m_outputChannel; }
    HWND MessageWindow() const { return m_messageWindow.Handle(); }
    UINT SendingDataMessage() const { return m_sendingDataMessage; }

    // Errors: a modal box through the message-box presenter, translated through the
    // language file beside the executable.
    void ShowError(const std::string& text);
    void ShowErrorWithCode(const std::string& text);

    // Events; each is called only when assigned, on the engine's thread.
    TNotifyModeChangeEvent OnModeChange;
    TNotifyEvent OnPlayEnd;
    TNotifyNewFFTDataEvent OnNewFFTData;
    TNotifyNetEvent OnGetMeta;
    TNotifyEvent2 OnDownloaded;
    TNotifyVisEvent OnVisWindowShow;
    TNotifyEvent2 OnPluginRequest;
    TNotifyEvent2 OnUpdatePlayList;
    TNotifyEvent2 OnMBWindowShow;
    TNotifyEvent2 OnGenWindowShow;
    // A plug-in asked to play a file (it sent the file name to the main window).
    TNotifyNetEvent OnPluginPlayFile;

    // The spectrum timer's step (every 25 ms while playing); public for tests, which
    // drive it with given FFT values.
    void UpdateBands(const float* fft, bool ok);

  private:
    // User data of the slide sync: the message window and the slide's direction.
    struct SlideRecord;
    // User data of the metadata sync: the message window, the stream kind and
    // the titles on their way to the message window (URLStream.cpp).
    struct MetaRecord;
    struct OpenRequest;

    // The hidden window through which other threads reach the engine. Going, it puts
    // back the window procedure it was created with (a plug-in may have replaced it)
    // and is destroyed.
    class TMessageWindow {
      public:
        TMessageWindow() = default;
        ~TMessageWindow();
        TMessageWindow(const TMessageWindow&) = delete;
        TMessageWindow& operator=(const TMessageWindow&) = delete;
        void Create(TVAVIVerovu* engine);
        HWND Handle() const { return m_handle; }

      private:
        HWND m_handle = nullptr;
        WNDPROC m_proc = nullptr;
    };

    // Construction steps, in their order; each later one runs only when the audio
    // library started.
    bool StartAudioLibrary(int device);  // library, version, options, device, volumes
    void LoadMiniBrowser(const std::string& folder);
    void StartPluginHost();
    void LoadAddOns(const std::string& folder);

    // Open's steps, in their order.
    bool InspectForOpen(OpenRequest& request);  // read and check the information
    bool OpenFile(OpenRequest& request);        // the new channel replaces the old stream
    DWORD CreateFileChannel(OpenRequest& request, TStreamKind& kind);
    void TakeChannelInfo(TStreamInfo& info);
    bool AcceptFileChannel(const OpenRequest& request);  // refuses sample sizes; names the decoder

    static LRESULT MessageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static void CALLBACK_SlideSync(HSYNC sync, DWORD channel, DWORD data, void* user);
    static void CALLBACK_MetaSync(HSYNC sync, DWORD channel, DWORD data, void* user);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnStreamEnd(DWORD channel);
    void OnSlideDone(uint32_t direction);
    void SpectrumTimerTick();
    void EnableSpectrumTimer(bool enable);

    // Network streams (URLStream.cpp).
    bool OpenURLStream(const std::string& url, const std::string& ext, TStreamInfo& info);
    void ReadLiveStreamInfo(TStreamInfo& info);
    void ReadNetFileInfo(const std::string& url, const std::string& ext, TStreamInfo& info);
    // Waits (processing messages) until a live stream's buffer is filled; false
    // after an error (reported) or when the stream changed meanwhile.
    bool WaitForPrebuffer(DWORD channel);
    bool NeedsPrebuffer() const;
    void OnMetaTitle();
    void OnDownloadDone(DWORD channel);
    // Closes and opens the live stream again, then plays it (resume, replay).
    void ReopenLiveStream();
    void SetPlayerMode(TPlayerMode mode);
    void PausePlayback();
    void ResumePlayback();
    void PlayAgain();
    bool FadeOut();  // true when it muted
    void RestoreVolume();
    void SetGlobalVolumes(DWORD value);
    void ZeroBands();
    uint32_t BytesToMs(DWORD channel, QWORD bytes) const;
    QWORD QueuedOutputBytes() const;  // written by a playing output, not yet heard
    void HaltOutput(bool pause);      // pauses or stops the output channel
    void RestartOutput();             // the output starts afresh from the source
    void NotifyVisInfo();
    void StartVisDataThread();
    void HandleVisCode(WPARAM code, LPARAM lParam);
    void OnVisStarted(const TVisPluginInfo* info);  // null: the start failed
    void OnVisEnded();
    void StartVisDriverNow(const std::string& FileName, int Index);
    void ModeToVis(TPlayerMode mode);
    void ChannelsToVis(DWORD channels);  // the playing channels, for the data thread
    void FreeDecodeChannel();
    TStreamInfoContext InfoContext() const;

    // What the engine owns beside its state. Members are destroyed bottom-up, so
    // this list, read from the bottom, is the order of teardown (after the destructor
    // has stopped the open stream): the information reader, the libraries and the
    // plug-in host, the translation table, the message window, and last the slide
    // and metadata records, which library threads may read until the library is gone.
    std::unique_ptr<SlideRecord> m_slideRecord;
    std::unique_ptr<MetaRecord> m_metaRecord;
    TMessageWindow m_messageWindow;
    TTranslationTable m_translation;
    TEngineResources m_resources;
    // The companion drawer libraries; unloaded before the plug-in host shuts down.
    quillet::plugins::TMiniBrowserLibrary m_miniBrowserLibrary;
    quillet::plugins::TVisDrawerLibrary m_visDrawerLibrary;
    std::unique_ptr<TStreamInfoReader> m_infoReader;
    // Reads the library: it goes before the libraries do.
    std::unique_ptr<TVisDataThread> m_visThread;

    // Construction results and configuration.
    std::string m_version = "2.10.0";
    std::string m_bassDllVer;
    HWND m_owner = nullptr;
    UINT m_sendingDataMessage = 0;
    bool m_spectrumTimerOn = false;
    bool m_dx8EffectReady = false;
    bool m_mbDrawerReady = false;
    bool m_visDrawerReady = false;
    HWND m_miniBrowserWindow = nullptr;
    void* m_miniBrowserSubClassProc = nullptr;  // handed on to the drawer frame's snapping

    // Player state.
    TPlayerMode m_mode = plmStandby;
    TStreamKind m_streamKind = skNone;
    std::string m_streamName;
    TStreamInfo m_streamInfo;
    std::string m_decoderName;
    uint32_t m_volume = 255;
    bool m_muted = false;
    bool m_fading = false;
    DWORD m_fadeEndsAt = 0;  // tick count after which a fade that never reported ends
    bool m_isLiveStream = false;
    bool m_isNetFile = false;
    bool m_downloadDone = false;
    bool m_singleChannelRequested = false;
    bool m_singleChannel = false;
    BASS_CHANNELINFO m_channelInfo{};
    TBandOut m_bandOut{};
    uint32_t m_visScale = 512;
    DWORD m_decodeChannel = 0;
    DWORD m_outputChannel = 0;
    QWORD m_droppedOutputBytes = 0;  // queued by the output when it was paused or stopped
    HSYNC m_slideSync = 0;
    DWORD m_slideChannel = 0;
    // Bumped whenever the open stream changes; a wait that finds it changed gives up.
    uint32_t m_openGeneration = 0;
    bool m_endPending = false;  // the end of the open stream is being drained
    bool m_translationRead = false;

    // Visualisation plug-in state.
    bool m_visActive = false;    // a plug-in window exists
    bool m_visStarting = false;  // a start is under way
    bool m_visQuitting = false;  // a quit is under way
    bool m_visRestartPending = false;
    std::string m_visPendingFile;
    int m_visPendingIndex = 0;
    HWND m_visWindow = nullptr;
    TVisPluginInfo m_visInfo;
};
