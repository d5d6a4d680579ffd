// What the engine, its visualisation-data thread and the visualisation driver share:
// the block the data thread fills for a running visualisation plug-in, the stream
// attributes the driver answers plug-ins with, and the codes of the registered
// "WM_BASSSendingData" message that travel between them.
//
// Threads. The block's stream fields (mode and the stream information) are written by
// the engine on the user-interface thread and read by the driver thread: both take
// `lock` around them. The data part (dataSampleRate, dataChannels, position, data) is
// handed over through `dataReady`: the data thread writes it only while the flag is 0
// and then sets it to 1 (release); the driver reads it only after seeing 1 (acquire)
// and clears the flag when it has copied the data.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "PlayerTypes.h"

constexpr int kVisChannelBytes = 576;  // one spectrum or waveform channel
constexpr int kVisMaxChannels = 2;     // of each kind
constexpr int kVisTextBytes = 256;     // title and file name, NUL included

struct VisDataBlock {
    std::mutex lock;  // the stream fields below
    uint32_t mode = plmStandby;
    uint32_t sampleRate = 0;
    uint32_t bitRate = 0;
    uint32_t channels = 0;
    uint32_t duration = 0;  // ms
    char title[kVisTextBytes] = {};

    std::atomic<uint32_t> dataReady{0};
    uint32_t dataSampleRate = 0;
    uint32_t dataChannels = 0;  // at most 2
    uint32_t position = 0;      // ms
    uint8_t data[2 * kVisMaxChannels * kVisChannelBytes] = {};

    char fileName[kVisTextBytes] = {};  // under lock, as the stream fields
};

// Copies text into a fixed zero-filled field, cut to leave the terminating NUL.
inline void CopyVisText(char (&field)[kVisTextBytes], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min<size_t>(text.size(), kVisTextBytes - 1));
}

// The stream as the driver describes it to plug-ins.
struct TChannelAttrb {
    std::string Title;
    std::string FileName;
    uint32_t SampleRate = 0;
    uint32_t BitRate = 0;
    uint32_t Duration = 0;  // ms
    uint16_t Channels = 0;
};

// A module's wishes, posted with code 55 when the driver has chosen it.
struct TVisParams {
    int32_t latencyMs = 0;
    int32_t delayMs = 0;
    int32_t spectrumNch = 0;
    int32_t waveformNch = 0;
};

// Codes of the registered message (wParam).
enum : unsigned {
    // From the data thread to the driver thread (thread messages).
    kVisNewData = 10,
    kVisHide = 40,
    kVisMoveInto = 45,
    kVisAllowEmbed = 46,
    kVisShow = 50,
    kVisEndModule = 56,
    kVisDataNotTaken = 57,
    kVisUseDrawer = 66,
    kVisModeChanged = 81,
    kVisInfoChanged = 82,
    // From the driver to the engine's message window.
    kVisParamsChosen = 55,
    kVisUpdatePlayList = 58,  // lParam 0: clear the playlist
    kVisPlayFile = 59,        // lParam: a file name text, valid during the (sent) message
    kVisStarted = 60,
    kVisWindowInactive = 65,
    kVisWindowMoved = 68,
    kVisEnded = 70,
};
