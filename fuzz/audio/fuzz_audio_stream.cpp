// Feeds arbitrary bytes to the library as an in-memory file, as a stream and
// as a tracker module, and drives the resulting decoding channel: sample
// data in every format, spectra, seeks, tags and file positions.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/bass.h"

namespace {

// Bytes of output decoded per input at most: a header claiming hours of
// audio must not make one input take minutes.
constexpr uint64_t kMaxDecodedBytes = 4u << 20;

void drive(DWORD h) {
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    std::vector<float> buf(16384);
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    BASS_ChannelGetData(h, buf.data(), BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL);
    BASS_ChannelGetData(h, buf.data(), 4096 | BASS_DATA_FLOAT);
    if (length != QWORD(-1) && length > 8) BASS_ChannelSetPosition(h, length / 2, BASS_POS_BYTE);
    for (DWORD t : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 8u, 0x10000u}) BASS_ChannelGetTags(h, t);
    BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
    uint64_t total = 0;
    while (total < kMaxDecodedBytes) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), DWORD(buf.size() * sizeof(float)));
        if (n == DWORD(-1) || n == 0) break;
        total += n;
    }
    BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE);
    BASS_ChannelGetData(h, buf.data(), BASS_DATA_FFT512);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = BASS_Init(0, 44100, 0, nullptr, nullptr);
    if (!ready || size == 0) return 0;
    if (const DWORD s =
            BASS_StreamCreateFile(TRUE, data, 0, size, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN)) {
        drive(s);
        BASS_StreamFree(s);
    }
    if (const DWORD m =
            BASS_MusicLoad(TRUE, data, 0, DWORD(size), BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN, 0)) {
        drive(m);
        BASS_MusicFree(m);
    }
    return 0;
}
