// Passes a minute of 16-bit stereo 44.1 kHz audio from a decoding user stream
// through the fed output (feeder thread, ring, reader) as fast as the reader asks,
// in requests of the size the library's output thread uses (60 ms), and prints the
// rate the feeder keeps up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/MessageLayer.h"
#include "plugins/PluginHost.h"

namespace {

DWORD silenceProc(HSTREAM, void* buffer, DWORD length, void*) {
    std::fill_n(static_cast<uint8_t*>(buffer), length, uint8_t(0));
    return length;
}

}  // namespace

int main() {
    if (!Load_BASSDLL("") || !Bass.BASS_Init(0, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "libbass.so could not be loaded\n");
        return 1;
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "BenchMessages";
    RegisterClass(&wc);
    HWND window =
        CreateWindowEx(0, "BenchMessages", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!InitPluginHost(window, nullptr, nullptr, 0)) return 1;

    constexpr uint64_t kBytes = 60ull * 44100 * 4;
    constexpr DWORD kRequest = 2646 * 4;  // 60 ms
    for (int run = 0; run < 3; ++run) {
        const HSTREAM source = Bass.BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, silenceProc, nullptr);
        if (!OpenFedOutput(source, source, 44100, 2, 16, false)) return 1;
        std::vector<uint8_t> buffer(kRequest);
        uint64_t total = 0, requests = 0, empty = 0;
        const auto start = std::chrono::steady_clock::now();
        while (total < kBytes) {
            const DWORD n = ReadFedOutput(buffer.data(), kRequest) & ~BASS_STREAMPROC_END;
            total += n;
            ++requests;
            empty += n == 0;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf(
            "run %d: %.1f MB in %.3f s = %.0f MB/s through the ring (%.0fx real time, %.0f feed "
            "blocks/s); the reader never waits, so %llu of %llu requests found the ring empty\n",
            run, double(total) / 1e6, s, double(total) / 1e6 / s, 60.0 / s, double(total) / 4608 / s,
            static_cast<unsigned long long>(empty), static_cast<unsigned long long>(requests));
        CloseFedOutput();
        Bass.BASS_StreamFree(source);
    }
    ShutdownPluginHost();
    DestroyWindow(window);
    return 0;
}
