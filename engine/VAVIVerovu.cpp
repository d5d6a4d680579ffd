#include "engine/VAVIVerovu.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/URLStream.h"
#include "engine/VisDataThread.h"
#include "engine/bass/Dynamic_Bass.h"
#include "platform/text/Text.h"
#include "platform/win/MessageLayer.h"
#include "plugins/PluginHost.h"
#include "plugins/WinampIPC.h"

namespace {

constexpr const char* kMessageWindowClass = "TVAVIVerovuMessageWindow";
constexpr UINT_PTR kSpectrumTimerId = 1;
constexpr UINT kSpectrumIntervalMs = 25;
constexpr DWORD kVolumeScale = 39;  // 0..255 to the library's 0..10000 (255 x 39 = 9945)
constexpr uint32_t kMaxFadeMs = 3000;
constexpr uint32_t kMinFadeMs = 50;
constexpr uint32_t kFadeWaitStepMs = 20;
constexpr uint32_t kDrainWaitStepMs = 50;
// A fade that never reports its end (its channel vanished without a sync) must not
// hold a wait for ever: after its length and this much more the wait gives up.
constexpr uint32_t kFadeWaitSlackMs = 2000;
constexpr uint32_t kResumeRewindMs = 500;
// The longest an output queue can hold ahead of the ear (the library keeps about 150 ms).
constexpr uint32_t kMaxFadeTailMs = 300;
// The sound server's latency estimate lags a little behind a busy output thread.
constexpr uint32_t kFadeTailMarginMs = 50;
constexpr DWORD kMaxChannels = 8;
constexpr DWORD kMusicFlags = BASS_MUSIC_PRESCAN | BASS_MUSIC_POSRESET | BASS_MUSIC_RAMPS;

// Add-on options the engine sets before initialising the device.
constexpr DWORD kConfigCDFreeOld = 0x10200;
constexpr DWORD kConfigWmaPrebuf = 0x10101;
constexpr DWORD kConfigWmaBassFile = 0x10103;

// Codes of the registered "WM_BASSSendingData" message the engine answers.
constexpr WPARAM kCodeUpdatePlayList = 58;
constexpr WPARAM kCodeMBWindowShown = 95;
constexpr WPARAM kCodeMBWindowHidden = 96;
constexpr WPARAM kCodeGenWindow = 97;

// The upper FFT bin of each spectrum band (512-point FFT of the output).
constexpr int kBandUpperBin[25] = {1,  2,  3,  6,  12, 18, 24,  30,  36,  42,  48,  54, 60,
                                   66, 72, 78, 84, 90, 96, 102, 108, 120, 132, 156, 180};

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// One leading and one trailing double quote go.
std::string withoutQuotes(std::string name) {
    if (!name.empty() && name.front() == '"') name.erase(0, 1);
    if (!name.empty() && name.back() == '"') name.pop_back();
    return name;
}

bool isWmaChannelType(DWORD ctype) {
    return ctype == BASS_CTYPE_STREAM_WMA || ctype == BASS_CTYPE_STREAM_WMA_MP3;
}

// The library's version as four dot-separated numbers, most significant first.
std::string versionText(DWORD version) {
    return std::to_string(version >> 24) + "." + std::to_string((version >> 16) & 0xFF) + "." +
           std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF);
}

// Library callbacks: they only post to the message window.
void CALLBACK_EndSync(HSYNC, DWORD channel, DWORD, void* user) {
    PostMessage(static_cast<HWND>(user), WM_STREAM_END, channel, 0);
}

}  // namespace

struct TVAVIVerovu::SlideRecord {
    HWND window = nullptr;
    std::atomic<uint32_t> direction{0};  // 0 fading out, 1 fading in
};

// What Open works on: the name as given and without quotes, its extension and the
// information read so far.
struct TVAVIVerovu::OpenRequest {
    std::string asPassed;
    std::string name;
    std::string ext;  // upper case, with its dot
    bool isUrl = false;
    TStreamInfo info;
};

// ---------------------------------------------------------------------------
// The message window

TVAVIVerovu::TMessageWindow::~TMessageWindow() {
    if (!m_handle) return;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtr(m_handle, GWLP_WNDPROC)) != m_proc)
        SetWindowLongPtr(m_handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_proc));
    SetWindowLongPtr(m_handle, GWLP_USERDATA, 0);
    DestroyWindow(m_handle);
}

void TVAVIVerovu::TMessageWindow::Create(TVAVIVerovu* engine) {
    WNDCLASS wc{};
    wc.lpfnWndProc = &TVAVIVerovu::MessageProc;
    wc.lpszClassName = kMessageWindowClass;
    RegisterClass(&wc);  // fails harmlessly when an earlier engine registered it
    m_handle =
        CreateWindowEx(0, kMessageWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!m_handle) return;
    SetWindowLongPtr(m_handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(engine));
    m_proc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(m_handle, GWLP_WNDPROC));
}

// ---------------------------------------------------------------------------
// Construction and destruction

TVAVIVerovu::TVAVIVerovu(HWND owner, int device)
    : m_slideRecord(std::make_unique<SlideRecord>()),
      m_metaRecord(std::make_unique<MetaRecord>()),
      m_owner(owner) {
    // Everything other threads report arrives at the message window.
    m_messageWindow.Create(this);
    m_slideRecord->window = m_messageWindow.Handle();
    m_metaRecord->window = m_messageWindow.Handle();
    m_sendingDataMessage = RegisterWindowMessage("WM_BASSSendingData");
    if (!StartAudioLibrary(device)) return;
    const std::string folder = ExecutableFolder();
    LoadMiniBrowser(folder);
    StartPluginHost();
    LoadAddOns(folder);
    m_visDrawerReady = m_visDrawerLibrary.Load(folder);
    m_infoReader = std::make_unique<TStreamInfoReader>();
    StartVisDataThread();
}

bool TVAVIVerovu::StartAudioLibrary(int device) {
    if (!m_resources.LoadCore()) return false;
    const DWORD version = m_resources.CoreVersion();
    if ((version >> 16) != BASSVERSION || (version & 0xFFFF) < 1) {
        ShowError("BASS version is not 2.4 !");
        return false;
    }
    Bass.BASS_SetConfig(kConfigCDFreeOld, 1);
    Bass.BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
    Bass.BASS_SetConfig(kConfigWmaBassFile, 1);
    Bass.BASS_SetConfig(kConfigWmaPrebuf, 1);
    if (!m_resources.InitDevice(device, m_owner)) {
        ShowErrorWithCode("Can't initialize device");
        return false;
    }
    BASS_INFO info{};
    Bass.BASS_GetInfo(&info);
    m_dx8EffectReady = info.dsver >= 8;
    if (!m_dx8EffectReady) {
        MessageBox(m_owner,
                   "DirectX Ver 8 or higher is not installed.\r\nSound effects except rotate are disabled.",
                   "Warning", MB_OK | MB_ICONWARNING);
    }
    m_volume = 255;
    SetGlobalVolumes(m_volume * kVolumeScale);
    m_bassDllVer = versionText(version);
    return true;
}

void TVAVIVerovu::LoadMiniBrowser(const std::string& folder) {
    // Usually absent: the program ships without the mini-browser library.
    m_miniBrowserWindow =
        m_miniBrowserLibrary.Start(folder, m_owner, m_messageWindow.Handle(), m_sendingDataMessage);
    if (!m_miniBrowserWindow) return;
    m_mbDrawerReady = true;
    m_miniBrowserSubClassProc = m_miniBrowserLibrary.SubClassProc();
}

void TVAVIVerovu::StartPluginHost() {
    if (m_resources.StartPluginHost(m_messageWindow.Handle(), m_owner, m_miniBrowserWindow,
                                    m_sendingDataMessage))
        return;
    m_singleChannelRequested = true;
    ShowError(
        "Failed to get buffer.\n - Cannot run Winamp input plug-ins.\n - Cannot support dual channel mode.");
}

void TVAVIVerovu::LoadAddOns(const std::string& folder) {
    m_resources.LoadWma(folder);
    if (m_resources.LoadMixer(folder) == TEngineResources::TMixerLoad::OtherVersion)
        ShowError("BASS Mixer version is not 2.4 !");
    m_resources.LoadCD(folder);
    m_resources.LoadMidi(folder);
}

TVAVIVerovu::~TVAVIVerovu() {
    EnableSpectrumTimer(false);
    if (m_resources.BASSReady()) {
        if (m_outputChannel) Bass.BASS_ChannelStop(m_outputChannel);
        CloseFedOutput();  // before the library goes: the feeder reads through it
    }
    if (m_mbDrawerReady) m_miniBrowserLibrary.QuitAll();
    StopVisPlugin();
    m_visThread.reset();  // it reads the library too
    // The rest goes with the members, in the order their declarations give.
}

// ---------------------------------------------------------------------------
// Opening and closing

bool TVAVIVerovu::Open(const std::string& nameAsPassed) {
    if (!m_resources.BASSReady()) {
        ShowError("Player is not ready !");
        return false;
    }
    OpenRequest request;
    request.asPassed = nameAsPassed;
    request.name = withoutQuotes(nameAsPassed);
    request.isUrl = startsWith(request.name, "http://") || startsWith(request.name, "mms://");
    request.info = TStreamInfo(request.name);
    if (!InspectForOpen(request)) return false;
    request.ext = StreamFileExt(request.name);

    // The old stream pauses (with its fade) while the new one is made; it resumes when
    // the new one cannot be opened.
    const bool wasPlaying = m_decodeChannel && m_mode == plmPlaying;
    if (wasPlaying) {
        PausePlayback();
        if (m_mode != plmPaused) return false;  // the stream changed inside the fade
    }
    const uint32_t generation = m_openGeneration;
    const bool opened =
        request.isUrl ? OpenURLStream(request.name, request.ext, request.info) : OpenFile(request);
    if (!opened) {
        if (wasPlaying && generation == m_openGeneration) ResumePlayback();
        return false;
    }

    TakeChannelInfo(request.info);
    if (!request.isUrl && !AcceptFileChannel(request)) return false;
    m_singleChannel = m_singleChannelRequested;
    m_streamName = request.name;
    m_streamInfo = request.info;
    ++m_openGeneration;
    NotifyVisInfo();
    SetPlayerMode(plmReady);
    return true;
}

bool TVAVIVerovu::InspectForOpen(OpenRequest& request) {
    // A URL starts with empty information; a file is read first.
    if (!request.isUrl && !ReadStreamInfo(request.name, request.info)) {
        ShowError("Invalid or unsupported stream file.\n -> " + request.asPassed);
        return false;
    }
    if (request.info.Channels > kMaxChannels) {
        ShowError("Channel count exceeds. (Max Channels : " + std::to_string(kMaxChannels) + ")\n" + " -> " +
                  request.asPassed);
        return false;
    }
    return true;
}

bool TVAVIVerovu::OpenFile(OpenRequest& request) {
    TStreamKind kind = skStream;
    const DWORD channel = CreateFileChannel(request, kind);
    if (!channel) {
        ShowError("Invalid or unsupported stream file.\n -> " + request.asPassed);
        return false;
    }
    Close();
    m_decodeChannel = channel;
    m_streamKind = kind;
    return true;
}

DWORD TVAVIVerovu::CreateFileChannel(OpenRequest& request, TStreamKind& kind) {
    const DWORD flags = m_singleChannelRequested ? 0 : BASS_STREAM_DECODE;
    const char* name = request.name.c_str();
    if (request.ext == ".CDA") {
        kind = skCD;
        return m_resources.CDReady() ? BassCD.BASS_CD_StreamCreateFile(name, flags) : 0;
    }
    if (request.ext.size() >= 3 && ExtInPatterns(request.ext, kModulePatterns)) {
        kind = skMusic;
        const DWORD channel = Bass.BASS_MusicLoad(FALSE, name, 0, 0, kMusicFlags | flags, 0);
        if (channel)
            request.info.Duration = BytesToMs(channel, Bass.BASS_ChannelGetLength(channel, BASS_POS_BYTE));
        return channel;
    }
    const DWORD channel = Bass.BASS_StreamCreateFile(FALSE, name, 0, 0, flags);
    BASS_CHANNELINFO ci{};
    kind = channel && Bass.BASS_ChannelGetInfo(channel, &ci) && isWmaChannelType(ci.ctype) ? skWMA : skStream;
    return channel;
}

void TVAVIVerovu::TakeChannelInfo(TStreamInfo& info) {
    m_channelInfo = BASS_CHANNELINFO{};
    Bass.BASS_ChannelGetInfo(m_decodeChannel, &m_channelInfo);
    m_channelInfo.filename = nullptr;  // owned by the channel; not kept
    info.SampleRate = m_channelInfo.freq;
    info.Channels = uint16_t(m_channelInfo.chans);
    info.Format = m_channelInfo.ctype;
}

bool TVAVIVerovu::AcceptFileChannel(const OpenRequest& request) {
    const TStreamInfo& info = request.info;
    const bool is32Bit = info.BitsPerSample == 32;
    if (is32Bit || (info.BitsPerSample == 16 && (m_channelInfo.flags & BASS_SAMPLE_8BITS))) {
        FreeDecodeChannel();
        m_streamKind = skNone;
        ShowError(is32Bit ? "TVAVIVerovu does not support 32-bit sources."
                          : "Sound card does not support 16-bit sources.");
        return false;
    }
    m_decoderName.clear();
    if (ExtInPatterns(qtext::asciiLower(request.ext), NativeFileExts())) {
        m_decoderName = m_streamKind == skCD    ? kBassCDLibrary
                        : m_streamKind == skWMA ? kBassWmaLibrary
                                                : kBassLibrary;
    }
    return true;
}

void TVAVIVerovu::Close() {
    if (!m_decodeChannel && m_streamKind == skNone) return;
    if (!m_singleChannel) CloseFedOutput();
    FreeDecodeChannel();
    m_outputChannel = 0;
    m_streamKind = skNone;
    m_streamName.clear();
    m_streamInfo.FileName.clear();
    m_decoderName.clear();
    m_streamInfo.FileSize = 0;
    m_streamInfo.SampleRate = 0;
    m_isLiveStream = m_isNetFile = m_downloadDone = false;
    m_endPending = false;
    ++m_openGeneration;
    if (m_mode != plmStandby) SetPlayerMode(plmStandby);
}

void TVAVIVerovu::FreeDecodeChannel() {
    if (!m_decodeChannel) return;
    if (m_streamKind == skMusic)
        Bass.BASS_MusicFree(m_decodeChannel);
    else
        Bass.BASS_StreamFree(m_decodeChannel);
    if (m_outputChannel == m_decodeChannel) m_outputChannel = 0;
    m_decodeChannel = 0;
}

// ---------------------------------------------------------------------------
// Transport

void TVAVIVerovu::Play() {
    if (!m_decodeChannel || m_mode == plmPlaying) return;
    switch (m_mode) {
        case plmPaused:
            ResumePlayback();
            return;
        case plmStopped: {
            if (m_isLiveStream) {
                PlayAgain();  // a live stream has no start to go back to: it is opened afresh
                return;
            }
            const uint32_t generation = m_openGeneration;
            SetPosition(0);
            if (generation != m_openGeneration || m_mode != plmStopped) return;
            if (Position() == PlayLength())
                ShowError("Playback reposition of opened stream is not allowed.");
            else
                PlayAgain();
            return;
        }
        case plmReady:
            break;
        default:
            return;
    }

    ZeroBands();
    if (m_outputChannel && !m_singleChannel) CloseFedOutput();  // left over from a failed start
    m_outputChannel = 0;
    // The end sync goes on before the output or its feeder can read the stream: a
    // stream shorter than the start of the output would otherwise end unseen.
    const HSYNC endSync = Bass.BASS_ChannelSetSync(m_decodeChannel, BASS_SYNC_END, 0, &CALLBACK_EndSync,
                                                   m_messageWindow.Handle());
    auto dropEndSync = [&] {
        if (endSync) Bass.BASS_ChannelRemoveSync(m_decodeChannel, endSync);
    };
    const DWORD channels = m_streamInfo.Channels;
    if (m_singleChannel) {
        m_outputChannel = m_decodeChannel;
    } else {
        if (NeedsPrebuffer() && !WaitForPrebuffer(m_decodeChannel)) {
            if (m_decodeChannel && m_mode == plmReady) m_decoderName.clear();
            return;
        }
        const DWORD bits = (m_channelInfo.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
        m_outputChannel = OpenFedOutput(m_decodeChannel, m_decodeChannel, m_channelInfo.freq, channels, bits,
                                        m_isLiveStream);
        if (!m_outputChannel) {
            dropEndSync();
            ShowError("Could not open the channel for play.");
            m_decoderName.clear();
            return;
        }
    }
    ChannelsToVis(channels);
    SetHostChannels(m_streamKind, m_decodeChannel, m_outputChannel);
    m_droppedOutputBytes = 0;
    if (!Bass.BASS_ChannelPlay(m_outputChannel, TRUE)) {
        dropEndSync();  // a later start sets its own
        return;
    }
    SetPlayerMode(plmPlaying);
}

void TVAVIVerovu::PlayAgain() {
    if (m_isLiveStream) {
        ReopenLiveStream();
        return;
    }
    ZeroBands();
    RestartOutput();
    if (Bass.BASS_ChannelPlay(m_outputChannel, TRUE)) SetPlayerMode(plmPlaying);
}

void TVAVIVerovu::Pause(bool value) {
    if (value)
        PausePlayback();
    else
        ResumePlayback();
}

void TVAVIVerovu::PausePlayback() {
    if (m_mode != plmPlaying) return;
    const uint32_t generation = m_openGeneration;
    const bool muted = FadeOut();
    if (generation != m_openGeneration || m_mode != plmPlaying) {
        if (muted) RestoreVolume();
        return;  // something else took over during the fade
    }
    HaltOutput(true);
    if (muted) RestoreVolume();
    SetPlayerMode(plmPaused);
}

void TVAVIVerovu::ResumePlayback() {
    if (m_mode != plmPaused) return;
    if (m_isLiveStream) {
        ReopenLiveStream();  // a live stream cannot go back: it starts afresh, faded in
        return;
    }
    bool muted = false;
    if (!m_muted) {
        SetMuted(true, 0);
        muted = m_muted;
    }
    const uint32_t position = Position();
    SetPosition(position > kResumeRewindMs ? position - kResumeRewindMs : 0);
    if (m_mode != plmPaused) return;
    ZeroBands();
    RestartOutput();
    if (!m_singleChannel) {
        Bass.BASS_ChannelPlay(m_outputChannel, TRUE);
    } else {
        // The stream was repositioned above; a restart would rewind it to its start.
        Bass.BASS_ChannelPlay(m_outputChannel, FALSE);
    }
    if (muted) SetMuted(false, 500);
    SetPlayerMode(plmPlaying);
}

void TVAVIVerovu::Stop() {
    if (m_mode != plmPlaying && m_mode != plmPaused) return;
    const uint32_t generation = m_openGeneration;
    const TPlayerMode mode = m_mode;
    const bool muted = FadeOut();
    if (generation != m_openGeneration || m_mode != mode) {
        if (muted) RestoreVolume();
        return;
    }
    HaltOutput(false);
    if (muted) RestoreVolume();
    SetPlayerMode(plmStopped);
}

// ---------------------------------------------------------------------------
// Times and seeking

uint32_t TVAVIVerovu::BytesToMs(DWORD channel, QWORD bytes) const {
    if (bytes == QWORD(-1) || int64_t(bytes) <= 0) return 0;
    const float seconds = float(Bass.BASS_ChannelBytes2Seconds(channel, bytes));
    if (!(seconds > 0)) return 0;
    return uint32_t(std::lround(double(seconds) * 1000.0));
}

uint32_t TVAVIVerovu::Position() const {
    if (!m_decodeChannel) return 0;
    const QWORD decoded = Bass.BASS_ChannelGetPosition(m_decodeChannel, BASS_POS_BYTE);
    if (decoded == QWORD(-1)) return 0;
    int64_t bytes = int64_t(decoded);
    // Decoded but not heard: what the ring holds and, while the output is paused or
    // stopped, what it had queued and dropped. (While it plays, its queue is left out:
    // it moves in chunks, and the position would jitter by a chunk.)
    if (!m_singleChannel) bytes -= int64_t(BufferedOutputBytes()) + int64_t(m_droppedOutputBytes);
    return bytes > 0 ? BytesToMs(m_decodeChannel, QWORD(bytes)) : 0;
}

QWORD TVAVIVerovu::QueuedOutputBytes() const {
    if (!m_outputChannel) return 0;
    const DWORD state = Bass.BASS_ChannelIsActive(m_outputChannel);
    if (state != BASS_ACTIVE_PLAYING && state != BASS_ACTIVE_STALLED) return 0;
    const DWORD queued = Bass.BASS_ChannelGetData(m_outputChannel, nullptr, BASS_DATA_AVAILABLE);
    return queued == DWORD(-1) ? 0 : queued;
}

void TVAVIVerovu::HaltOutput(bool pause) {
    m_droppedOutputBytes = QueuedOutputBytes();
    if (pause)
        Bass.BASS_ChannelPause(m_outputChannel);
    else
        Bass.BASS_ChannelStop(m_outputChannel);
}

void TVAVIVerovu::RestartOutput() {
    if (!m_singleChannel) ResetOutputRing();
    m_droppedOutputBytes = 0;
}

uint32_t TVAVIVerovu::PlayLength() const {
    if (!m_decodeChannel) return 0;
    return BytesToMs(m_decodeChannel, Bass.BASS_ChannelGetLength(m_decodeChannel, BASS_POS_BYTE));
}

bool TVAVIVerovu::CanSeek() const {
    if (!m_decodeChannel || m_isLiveStream) return false;
    if (m_isNetFile) return m_streamKind != skWMA && m_downloadDone;
    return true;
}

void TVAVIVerovu::SetPosition(uint32_t ms) {
    if (!CanSeek() || ms > PlayLength()) return;
    const uint32_t generation = m_openGeneration;
    const bool muted = FadeOut();
    if (generation != m_openGeneration) return;
    DWORD state = BASS_ACTIVE_STOPPED;
    if (!m_singleChannel && m_outputChannel) {
        state = Bass.BASS_ChannelIsActive(m_outputChannel);
        if (state == BASS_ACTIVE_PLAYING) Bass.BASS_ChannelStop(m_outputChannel);
    }
    Bass.BASS_ChannelSetPosition(m_decodeChannel,
                                 Bass.BASS_ChannelSeconds2Bytes(m_decodeChannel, ms / 1000.0), BASS_POS_BYTE);
    // After the source moved: whatever the feeder read before is dropped.
    RestartOutput();
    if (!m_singleChannel) {
        if (state == BASS_ACTIVE_PLAYING) {
            Bass.BASS_ChannelPlay(m_outputChannel, TRUE);
            if (OnNewFFTData && !m_visActive) EnableSpectrumTimer(true);
        }
    }
    if (muted) SetMuted(false, 500);
}

// ---------------------------------------------------------------------------
// Volume, muting and fades

void TVAVIVerovu::SetGlobalVolumes(DWORD value) {
    Bass.BASS_SetConfig(BASS_CONFIG_GVOL_MUSIC, value);
    Bass.BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, value);
}

void TVAVIVerovu::SetVolume(uint32_t value) {
    if (!m_resources.BASSReady()) return;
    m_volume = std::min<uint32_t>(value, 255);
    if (!m_muted) SetGlobalVolumes(m_volume * kVolumeScale);
}

void TVAVIVerovu::SetMuted(bool mute, uint32_t fadeTimeMs) {
    if (!m_resources.BASSReady() || m_fading || mute == m_muted) return;
    fadeTimeMs = std::min(fadeTimeMs, kMaxFadeMs);
    m_muted = mute;
    const bool fade = m_outputChannel != 0 && fadeTimeMs >= kMinFadeMs;
    if (mute && !fade) {
        SetGlobalVolumes(0);
        if (m_outputChannel) Bass.BASS_ChannelSetAttribute(m_outputChannel, BASS_ATTRIB_VOL, 0.0f);
        return;
    }
    if (!mute) {
        SetGlobalVolumes(m_volume * kVolumeScale);
        if (!fade) {
            if (m_outputChannel) Bass.BASS_ChannelSetAttribute(m_outputChannel, BASS_ATTRIB_VOL, 1.0f);
            return;
        }
        Bass.BASS_ChannelSetAttribute(m_outputChannel, BASS_ATTRIB_VOL, 0.0f);
    }
    m_slideRecord->direction = mute ? 0 : 1;
    m_slideChannel = m_outputChannel;
    m_slideSync = Bass.BASS_ChannelSetSync(m_outputChannel, BASS_SYNC_SLIDE, 0, &CALLBACK_SlideSync,
                                           m_slideRecord.get());
    if (!m_slideSync) return;  // no sync, no wait: the slide below still runs
    if (!Bass.BASS_ChannelSlideAttribute(m_outputChannel, BASS_ATTRIB_VOL, mute ? 0.0f : 1.0f, fadeTimeMs)) {
        Bass.BASS_ChannelRemoveSync(m_outputChannel, m_slideSync);
        m_slideSync = 0;
        Bass.BASS_ChannelSetAttribute(m_outputChannel, BASS_ATTRIB_VOL, mute ? 0.0f : 1.0f);
        if (mute) SetGlobalVolumes(0);
        return;
    }
    m_fading = true;
    m_fadeEndsAt = GetTickCount() + fadeTimeMs + kFadeWaitSlackMs;
}

void TVAVIVerovu::OnSlideDone(uint32_t direction) {
    if (direction == 0 && m_muted) SetGlobalVolumes(0);
    m_fading = false;
    if (m_slideSync) Bass.BASS_ChannelRemoveSync(m_slideChannel, m_slideSync);
    m_slideSync = 0;
    m_slideChannel = 0;
}

bool TVAVIVerovu::FadeOut() {
    if (m_muted) return false;
    SetMuted(true, 500);
    if (!m_muted) return false;
    while (m_fading) {
        sleepMs(kFadeWaitStepMs);
        quillet::win::ProcessMessages();
        if (m_fading && int32_t(GetTickCount() - m_fadeEndsAt) > 0) OnSlideDone(0);
    }
    // What the output queued during the fade was written louder than silence: let it
    // reach the ear before the caller cuts the output, or the fade ends in a click.
    if (m_outputChannel) {
        const uint32_t queuedMs =
            std::min(BytesToMs(m_outputChannel, QueuedOutputBytes()) + kFadeTailMarginMs, kMaxFadeTailMs);
        const DWORD until = GetTickCount() + queuedMs;
        while (int32_t(until - GetTickCount()) > 0) {
            sleepMs(std::min<uint32_t>(kFadeWaitStepMs, uint32_t(until - GetTickCount())));
            quillet::win::ProcessMessages();
        }
    }
    return true;
}

void TVAVIVerovu::RestoreVolume() {
    SetGlobalVolumes(m_volume * kVolumeScale);
    if (m_outputChannel) Bass.BASS_ChannelSetAttribute(m_outputChannel, BASS_ATTRIB_VOL, 1.0f);
    m_muted = false;
}

void TVAVIVerovu::SetSingleChannel(bool value) {
    if (!value && !m_resources.BufferReady()) {
        ShowError("Cannot support dual channel mode. (Failed to get buffer)");
        return;
    }
    m_singleChannelRequested = value;
}

// ---------------------------------------------------------------------------
// Mode, information and notifications

void TVAVIVerovu::SetPlayerMode(TPlayerMode mode) {
    const TPlayerMode old = m_mode;
    m_mode = mode;
    if (mode == plmStandby) {
        m_streamName.clear();
        m_streamInfo.FileName.clear();
        m_streamInfo.Title.clear();
        m_streamInfo.FileSize = m_streamInfo.Duration = m_streamInfo.SampleRate = m_streamInfo.BitRate = 0;
        m_streamInfo.Channels = 0;
        SetHostStreamInfo(m_streamInfo);
    }
    SetHostPlayerMode(mode);
    if (mode == plmPlaying && OnNewFFTData && !m_visActive) EnableSpectrumTimer(true);
    ModeToVis(mode);
    if (OnModeChange) OnModeChange(this, old, mode);
}

bool TVAVIVerovu::GetStreamInfo(const std::string& name, TStreamInfo& info) {
    if (!m_streamName.empty() && name == m_streamName) {
        info = m_streamInfo;
        return true;
    }
    return ReadStreamInfo(name, info);
}

TStreamInfoContext TVAVIVerovu::InfoContext() const {
    TStreamInfoContext context;
    context.BASSReady = m_resources.BASSReady();
    context.CDReady = m_resources.CDReady();
    context.WMAReady = m_resources.WMAReady();
    context.CDDrives = m_resources.CDDrives();
    return context;
}

bool TVAVIVerovu::ReadStreamInfo(const std::string& name, TStreamInfo& info) {
    info = TStreamInfo(name);
    return m_infoReader && m_infoReader->Read(name, info, InfoContext());
}

std::string TVAVIVerovu::NativeFileExts() const {
    return ::NativeFileExts(InfoContext());
}

// ---------------------------------------------------------------------------
// Spectrum

void TVAVIVerovu::ZeroBands() {
    m_bandOut.fill(0);
}

void TVAVIVerovu::EnableSpectrumTimer(bool enable) {
    const HWND window = m_messageWindow.Handle();
    if (!window || enable == m_spectrumTimerOn) return;
    m_spectrumTimerOn = enable;
    if (enable)
        SetTimer(window, kSpectrumTimerId, kSpectrumIntervalMs, nullptr);
    else
        KillTimer(window, kSpectrumTimerId);
}

void TVAVIVerovu::UpdateBands(const float* fft, bool ok) {
    if (!ok) {
        // No spectrum from the output: there is nothing to show, not a quiet moment.
        ZeroBands();
        return;
    }
    int bin = 1;
    for (int band = 0; band < 25; ++band) {
        float peak = 0;
        for (; bin <= kBandUpperBin[band]; ++bin)
            if (fft[bin] > peak) peak = fft[bin];
        const double scaled = std::round((1.0 + 0.15 * band) * double(peak) * 80.0);
        const uint16_t fresh = uint16_t(std::min(scaled, 65535.0));
        uint16_t& level = m_bandOut[size_t(band)];
        if (level <= fresh)
            level = fresh;
        else
            level = std::max<uint16_t>(level < 2 ? 0 : uint16_t(level - 2), fresh);
    }
}

void TVAVIVerovu::SpectrumTimerTick() {
    if (m_mode != plmPlaying) {
        EnableSpectrumTimer(false);
        return;
    }
    EnableSpectrumTimer(false);
    const DWORD state = Bass.BASS_ChannelIsActive(m_outputChannel);
    if (state != BASS_ACTIVE_PLAYING && state != BASS_ACTIVE_STALLED) return;
    float fft[256];
    const bool ok = Bass.BASS_ChannelGetData(m_outputChannel, fft, BASS_DATA_FFT512) != DWORD(-1);
    UpdateBands(fft, ok);
    PostMessage(m_messageWindow.Handle(), WM_SPECTRUM_READY, 0, 0);
    EnableSpectrumTimer(true);
}

// ---------------------------------------------------------------------------
// The message window

LRESULT TVAVIVerovu::MessageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TVAVIVerovu*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT TVAVIVerovu::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_STREAM_END:
            OnStreamEnd(DWORD(wParam));
            return 0;
        case WM_FEED_CHANNEL_LOST:
            ShowError("Decoding Channel is unavailable by any reasons.\nOpened stream is beging closed.");
            Close();
            return 0;
        case WM_SPECTRUM_READY:
            if (OnNewFFTData) OnNewFFTData(this, m_bandOut);
            return 0;
        case WM_PLUGIN_REQUEST:
            if (OnPluginRequest) OnPluginRequest(this, uint32_t(wParam));
            return 0;
        case WM_SLIDE_DONE:
            if (m_fading) OnSlideDone(uint32_t(wParam));
            return 0;
        case WM_META_TITLE:
            OnMetaTitle();
            return 0;
        case WM_DOWNLOAD_DONE:
            OnDownloadDone(DWORD(wParam));
            return 0;
        case WM_QUERYENDSESSION:
            EnableSpectrumTimer(false);
            return 1;
        case WM_USER:  // plug-ins that take this window for the Winamp main window
            return quillet::plugins::EngineWindowIPC(wParam, lParam);
        case WM_TIMER:
            if (wParam == kSpectrumTimerId) SpectrumTimerTick();
            return 0;
        default:
            break;
    }
    if (msg == m_sendingDataMessage && m_sendingDataMessage != 0) {
        switch (wParam) {
            case kCodeUpdatePlayList:
                if (OnUpdatePlayList) OnUpdatePlayList(this, uint32_t(lParam));
                break;
            case kCodeMBWindowShown:
                if (OnMBWindowShow) OnMBWindowShow(this, 5);
                break;
            case kCodeMBWindowHidden:
                if (OnMBWindowShow) OnMBWindowShow(this, 0);
                break;
            case kCodeGenWindow:
                if (OnGenWindowShow) OnGenWindowShow(this, uint32_t(lParam));
                break;
            default:
                HandleVisCode(wParam, lParam);
                break;
        }
        return 0;
    }
    return DefWindowProc(m_messageWindow.Handle(), msg, wParam, lParam);
}

void TVAVIVerovu::OnStreamEnd(DWORD channel) {
    // Only the end of the open stream counts: an end posted before the user opened
    // another file belongs to a channel that is gone.
    if (!channel || channel != m_decodeChannel || m_mode != plmPlaying || m_endPending) return;
    const uint32_t generation = m_openGeneration;
    m_endPending = true;
    // The decoder ended; the output still plays what is buffered.
    while (Bass.BASS_ChannelIsActive(m_outputChannel) == BASS_ACTIVE_PLAYING) {
        quillet::win::ProcessMessages();
        if (generation != m_openGeneration || m_mode != plmPlaying) break;
        sleepMs(kDrainWaitStepMs);
    }
    if (generation != m_openGeneration) return;  // another stream was opened meanwhile
    m_endPending = false;
    // Paused or stopped during the last moments: the end is not reached. A resume
    // rewinds the decoder, which then reports its end again.
    if (m_mode != plmPlaying) return;
    SetPlayerMode(plmStopped);
    if (OnPlayEnd) OnPlayEnd(this);
}

// ---------------------------------------------------------------------------
// Errors

void TVAVIVerovu::ShowError(const std::string& text) {
    if (!m_translationRead) {
        m_translationRead = true;
        m_translation.LoadFromFolder(ExecutableFolder());
    }
    MessageBox(m_owner, m_translation.Translate(text).c_str(), m_translation.Caption().c_str(),
               MB_OK | MB_ICONERROR);
}

void TVAVIVerovu::ShowErrorWithCode(const std::string& text) {
    const int code = Bass.BASS_ErrorGetCode ? Bass.BASS_ErrorGetCode() : BASS_ERROR_UNKNOWN;
    ShowError(text + "\r\n" + "(error code: " + std::to_string(code) + ")");
}

void TVAVIVerovu::CALLBACK_SlideSync(HSYNC, DWORD, DWORD, void* user) {
    auto* record = static_cast<SlideRecord*>(user);
    PostMessage(record->window, WM_SLIDE_DONE, record->direction.load(), 0);
}
