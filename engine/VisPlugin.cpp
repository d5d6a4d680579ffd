// The engine's side of visualisation plug-ins: the data thread, starting and ending
// a plug-in through the visualisation driver, and the driver's notifications.
#include <unistd.h>

#include "engine/VAVIVerovu.h"
#include "engine/VisDataThread.h"
#include "plugins/PluginHost.h"
#include "plugins/VisDriver.h"

namespace {

constexpr uint32_t kResumeOnStartMs = 1000;  // a plug-in started while playing
constexpr uint32_t kResumeOnPlayMs = 600;    // playback started while a plug-in runs
constexpr LPARAM kModeChangedValue = 4;
constexpr LPARAM kInfoChangedValue = 528;

}  // namespace

void TVAVIVerovu::StartVisDataThread() {
    m_visThread = std::make_unique<TVisDataThread>(m_sendingDataMessage);
    if (!m_visThread->Ready()) return;
    m_visThread->SetScale(m_visScale);
    // The drawer library's handle is null when it is absent; the driver runs at normal priority.
    SetVisDriverContext(m_owner, m_messageWindow.Handle(), m_sendingDataMessage, m_visDrawerLibrary.Handle(),
                        &m_visThread->Lock(), 0, &m_visThread->Block());
}

void TVAVIVerovu::SetVisScale(uint32_t value) {
    if (value < 256 || value > 1024) return;
    m_visScale = value;
    if (m_visThread) m_visThread->SetScale(value);
}

void TVAVIVerovu::RunVisPlugin(const std::string& FileName, int Index) {
    if (!m_visThread || !m_visThread->Ready()) {
        ShowError("Cannot run Winamp visualization plug-ins");
        return;
    }
    if (access(FileName.c_str(), F_OK) != 0) {
        ShowError("Specified visualization plug-in does not exist");
        return;
    }
    if (m_visStarting || m_visQuitting) return;
    m_visStarting = true;
    if (m_visWindow && quillet::plugins::VisDriverRunning()) {
        // The running plug-in ends first; its end (code 70) starts this one.
        m_visPendingFile = FileName;
        m_visPendingIndex = Index;
        m_visRestartPending = true;
        QuitVisPlugin();
        return;
    }
    StartVisDriverNow(FileName, Index);
}

void TVAVIVerovu::StartVisDriverNow(const std::string& FileName, int Index) {
    m_visRestartPending = false;
    TChannelAttrb attrs;
    attrs.Title = m_streamInfo.Title;
    attrs.FileName = m_streamInfo.FileName;
    attrs.SampleRate = m_streamInfo.SampleRate;
    attrs.BitRate = m_streamInfo.BitRate;
    attrs.Duration = m_streamInfo.Duration;
    attrs.Channels = m_streamInfo.Channels;
    {
        // The block's stream fields, for the driver's later refreshes.
        std::lock_guard lock(m_visThread->Lock());
        VisDataBlock& block = m_visThread->Block();
        block.mode = m_mode;
    }
    // A start that did not happen must not leave the next one refused as "under way".
    if (!StartVisDriver(FileName, Index, nullptr, attrs, m_mode, false, false)) m_visStarting = false;
}

void TVAVIVerovu::QuitVisPlugin() {
    if (!m_visThread || !m_visThread->Ready() || m_visQuitting) return;
    m_visActive = false;
    m_visThread->Suspend();
    m_visQuitting = true;
    QuitVisDriver();
}

void TVAVIVerovu::StopVisPlugin() {
    if (!m_visThread || !m_visThread->Ready()) return;
    m_visActive = false;
    m_visThread->Suspend();
    StopVisDriver();
}

void TVAVIVerovu::NotifyVisInfo() {
    SetHostStreamInfo(m_streamInfo);
    if (!m_visActive || !m_visThread) return;
    {
        std::lock_guard lock(m_visThread->Lock());
        VisDataBlock& block = m_visThread->Block();
        block.sampleRate = m_streamInfo.SampleRate;
        block.bitRate = m_streamInfo.BitRate;
        block.channels = m_streamInfo.Channels;
        block.duration = m_streamInfo.Duration;
        CopyVisText(block.title, m_streamInfo.Title);
        CopyVisText(block.fileName, m_streamInfo.FileName);
    }
    m_visThread->PostToTarget(kVisInfoChanged, kInfoChangedValue);
}

void TVAVIVerovu::ChannelsToVis(DWORD channels) {
    if (m_visThread)
        m_visThread->SetChannelParams(
            TVisChannelParams{m_streamKind, m_decodeChannel, m_outputChannel, channels, m_channelInfo.freq});
}

void TVAVIVerovu::ModeToVis(TPlayerMode mode) {
    if (!m_visThread) return;
    m_visThread->SetMode(mode);
    if (mode != plmPlaying) m_visThread->Suspend();
    if (!m_visActive) return;
    {
        std::lock_guard lock(m_visThread->Lock());
        m_visThread->Block().mode = mode;
    }
    m_visThread->PostToTarget(kVisModeChanged, kModeChangedValue);
    if (mode == plmPlaying)
        m_visThread->ResumeAfter(kResumeOnPlayMs, [this] { return m_visActive && m_mode == plmPlaying; });
}

void TVAVIVerovu::HandleVisCode(WPARAM code, LPARAM lParam) {
    if (!m_visThread) return;
    switch (code) {
        case kVisParamsChosen:
            if (const auto* p = reinterpret_cast<const TVisParams*>(lParam))
                m_visThread->SetPluginParams(p->latencyMs, p->delayMs, p->spectrumNch, p->waveformNch);
            return;
        case kVisStarted:
            OnVisStarted(reinterpret_cast<const TVisPluginInfo*>(lParam));
            return;
        case kVisWindowInactive:
            m_visActive = false;
            return;
        case kVisWindowMoved:
            m_visActive = true;
            if (const auto* info = reinterpret_cast<const TVisPluginInfo*>(lParam)) {
                m_visWindow = static_cast<HWND>(info->VisWindow);
                m_visInfo = *info;
            }
            if (OnVisWindowShow) OnVisWindowShow(this, m_visInfo);
            return;
        case kVisEnded:
            OnVisEnded();
            return;
        case kVisPlayFile:
            if (lParam && OnPluginPlayFile) OnPluginPlayFile(this, reinterpret_cast<const char*>(lParam));
            return;
        default:
            return;
    }
}

void TVAVIVerovu::OnVisStarted(const TVisPluginInfo* info) {
    m_visStarting = false;
    if (!info) {
        m_visInfo.ThreadId = 0;
        if (OnVisWindowShow) OnVisWindowShow(this, m_visInfo);
        if (m_mode == plmPlaying && OnNewFFTData) EnableSpectrumTimer(true);
        return;
    }
    m_visThread->SetTargetThread(info->ThreadId);
    m_visWindow = static_cast<HWND>(info->VisWindow);
    m_visInfo = *info;
    if (OnVisWindowShow) OnVisWindowShow(this, m_visInfo);
    m_visActive = true;
    // The plug-in shows the music now; the panel's spectrum rests.
    EnableSpectrumTimer(false);
    if (m_mode == plmPlaying)
        m_visThread->ResumeAfter(kResumeOnStartMs, [this] { return m_visActive && m_mode == plmPlaying; });
}

void TVAVIVerovu::OnVisEnded() {
    m_visActive = false;
    m_visThread->Suspend();
    m_visThread->SetTargetThread(0);
    m_visWindow = nullptr;
    m_visInfo.ThreadId = 0;
    m_visInfo.VisWindow = nullptr;
    m_visInfo.WindowMode = 0;
    m_visInfo.PluginFile.clear();
    if (OnVisWindowShow) OnVisWindowShow(this, m_visInfo);
    if (m_mode == plmPlaying && OnNewFFTData && !m_visStarting) EnableSpectrumTimer(true);
    m_visQuitting = false;
    if (m_visRestartPending) StartVisDriverNow(m_visPendingFile, m_visPendingIndex);
}
