// The plug-in host's life cycle and positions, and the operations the engine calls.
#include "plugins/PluginHost.h"

#include <cmath>

#include "engine/bass/Dynamic_Bass.h"

namespace quillet::plugins {

TPluginHost& PluginHost() {
    // The one process-wide host: plug-ins and the audio library's callbacks reach the
    // player's output through it.
    static TPluginHost host;
    return host;
}

bool TPluginHost::init(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage) {
    if (m_initialised) return true;
    if (!messageWindow) return false;
    if (!m_fed.init(messageWindow, owner)) return false;
    m_messageWindow = messageWindow;
    m_ownerWindow = owner;
    m_mirror.createWinampWindow(owner);
    m_miniBrowserWindow = miniBrowser;
    m_notifyMessage = notifyMessage;
    m_initialised = true;
    return true;
}

void TPluginHost::shutdown() {
    if (!m_initialised) return;
    m_fed.shutdown();
    m_initialised = false;
    m_mirror.destroyWinampWindow();
    m_messageWindow = nullptr;
    m_ownerWindow = nullptr;
    m_miniBrowserWindow = nullptr;
    m_notifyMessage = 0;
}

uint32_t TPluginHost::currentPositionMs() const {
    const DWORD source = m_mirror.sourceChannel();
    if (m_mirror.streamKind() == skNone || !BASS_Loaded()) return 0;
    QWORD pos = Bass.BASS_ChannelGetPosition(source, BASS_POS_BYTE);
    if (pos == QWORD(-1)) return 0;
    if (source != m_mirror.outputChannel()) {
        // The fed output: what the ring still holds has been decoded, not heard.
        const QWORD buffered = m_fed.bufferedBytes();
        pos = pos > buffered ? pos - buffered : 0;
    }
    if (pos == 0) return 0;
    const double seconds = Bass.BASS_ChannelBytes2Seconds(source, pos);
    if (!(seconds > 0)) return 0;
    const double ms = std::round(seconds * 1000.0);
    return ms >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(ms);
}

}  // namespace quillet::plugins

using quillet::plugins::PluginHost;

bool InitPluginHost(HWND messageWindow, HWND owner, HWND miniBrowser, UINT notifyMessage) {
    return PluginHost().init(messageWindow, owner, miniBrowser, notifyMessage);
}
void ShutdownPluginHost() {
    PluginHost().shutdown();
}

HSTREAM OpenFedOutput(DWORD source, DWORD origin, DWORD rate, DWORD channels, DWORD bits, bool pad) {
    auto& host = PluginHost();
    return host.initialised() ? host.fedOutput().open(source, origin, rate, channels, bits, pad) : 0;
}
void CloseFedOutput() {
    PluginHost().fedOutput().close();
}
DWORD ReadFedOutput(void* buffer, DWORD length) {
    return PluginHost().fedOutput().read(buffer, length);
}
void ResetOutputRing() {
    PluginHost().fedOutput().reset();
}
uint32_t BufferedOutputBytes() {
    return PluginHost().fedOutput().bufferedBytes();
}
uint32_t CurrentPositionMs() {
    return PluginHost().currentPositionMs();
}

void SetHostStreamInfo(const TStreamInfo& info) {
    PluginHost().mirror().setStreamInfo(info);
}
void SetHostPlayerMode(TPlayerMode mode) {
    PluginHost().mirror().setPlayerMode(mode);
}
void SetHostChannels(TStreamKind kind, DWORD source, DWORD output) {
    PluginHost().mirror().setChannels(kind, source, output);
}

TPlayerMode HostPlayerMode() {
    return PluginHost().mirror().playerMode();
}
TStreamInfo HostStreamInfo() {
    return PluginHost().mirror().streamInfo();
}
HWND HostWinampWindow() {
    return PluginHost().mirror().winampWindow();
}

uint32_t OutputRingSize() {
    return PluginHost().fedOutput().ringSize();
}
uint32_t FeedBlockBytes() {
    return PluginHost().fedOutput().feedBlockBytes();
}
uint32_t PadBufferBytes() {
    return PluginHost().fedOutput().padBufferBytes();
}
