// The visualisation-data thread: what one period produces and how the thread keeps
// its pace, with a source standing for the audio library.
#include <atomic>
#include <thread>

#include "engine/VisDataThread.h"
#include "tests/vis/VisTest.h"

namespace {

using namespace vistest;

constexpr UINT kMessage = 0xC123;

struct FakeSource : TVisSource {
    std::atomic<bool> playing{true};
    std::atomic<uint32_t> available{1u << 20};
    std::atomic<int> steps{0};  // production steps that got past "playing"
    float fftValue = 0.25f;     // every mixed bin
    bool Playing() override {
        ++steps;
        return playing;
    }
    uint32_t AvailableBytes() override { return available; }
    bool FFT(float* out) override {
        for (int i = 0; i < 1024; ++i) out[i] = fftValue;
        return true;
    }
    // Left bins read 0.1 (51), right bins 0.2 (102).
    bool FFTPerChannel(float* out) override {
        for (int i = 0; i < 2048; ++i) out[i] = i % 2 == 0 ? 0.1f : 0.2f;
        return true;
    }
    // Frame i: channel c holds (c + 1) * 256 + (i & 0xFF) - so its high byte is c + 1.
    bool Samples(int16_t* out, uint32_t bytes) override {
        const uint32_t n = bytes / 2;
        for (uint32_t k = 0; k < n; ++k) out[k] = int16_t(((k % channels) + 1) * 256 + (k & 0xFF));
        return true;
    }
    uint32_t PositionMs() override { return 1234; }
    uint32_t channels = 2;
};

struct Produced {
    std::unique_ptr<TVisDataThread> thread;
    FakeSource* source;
};

Produced make(uint32_t channels, int spectra, int waves, float fft = 0.25f) {
    auto source = std::make_unique<FakeSource>();
    source->channels = channels;
    source->fftValue = fft;
    FakeSource* raw = source.get();
    auto thread = std::make_unique<TVisDataThread>(kMessage, std::move(source));
    thread->SetPluginParams(0, 20, spectra, waves);
    thread->SetChannelParams(TVisChannelParams{skStream, 1, 2, channels, 44100});
    thread->SetTargetThread(quillet::win::EnsureThreadQueue());
    return {std::move(thread), raw};
}

std::vector<WPARAM> takeCodes() {
    std::vector<WPARAM> codes;
    MSG msg;
    while (PeekMessage(&msg, reinterpret_cast<HWND>(intptr_t{-1}), 0, 0, PM_REMOVE))
        if (msg.message == kMessage) codes.push_back(msg.wParam);
    return codes;
}

std::vector<uint8_t> area(const VisDataBlock& b, int index) {
    return {b.data + index * kVisChannelBytes, b.data + (index + 1) * kVisChannelBytes};
}

TEST(VisData, SpectrumValuesAreScaledAndLimitedTo255) {
    struct Case {
        float magnitude;
        uint32_t scale;
        uint8_t expected;
    };
    for (const Case& c : {Case{0.5f, 512, 255}, Case{0.1f, 512, 51}, Case{0.1f, 1024, 102},
                          Case{-0.3f, 512, 0}, Case{0.0f, 512, 0}}) {
        auto p = make(2, 1, 0, c.magnitude);
        p.thread->SetScale(c.scale);
        p.thread->Produce();
        const VisDataBlock& b = p.thread->Block();
        ASSERT_EQ(b.dataReady.load(), 1u);
        EXPECT_EQ(b.data[0], c.expected) << c.magnitude << " x " << c.scale;
        EXPECT_EQ(b.data[575], c.expected);
        takeCodes();
    }
}

TEST(VisData, ChannelsArePackedSpectrumFirst) {
    // One spectrum and one waveform channel of a stereo stream: the spectrum at 0,
    // the left waveform right after it.
    auto p = make(2, 1, 1);
    p.thread->Produce();
    const VisDataBlock& b = p.thread->Block();
    EXPECT_EQ(area(b, 0), std::vector<uint8_t>(576, 128));  // 0.25 x 512
    EXPECT_EQ(area(b, 1), std::vector<uint8_t>(576, 1));    // left: high byte 1
    EXPECT_EQ(b.dataChannels, 2u);
    EXPECT_EQ(b.dataSampleRate, 44100u);
    EXPECT_EQ(b.position, 1234u);
    EXPECT_EQ(takeCodes(), std::vector<WPARAM>{kVisNewData});

    // Two of each: left and right spectra from the per-channel FFT, then both waveforms.
    auto q = make(2, 2, 2);
    q.thread->Produce();
    const VisDataBlock& c = q.thread->Block();
    EXPECT_EQ(area(c, 0), std::vector<uint8_t>(576, 51));
    EXPECT_EQ(area(c, 1), std::vector<uint8_t>(576, 102));
    EXPECT_EQ(area(c, 2), std::vector<uint8_t>(576, 1));
    EXPECT_EQ(area(c, 3), std::vector<uint8_t>(576, 2));

    // No spectrum: the waveform starts at 0. A mono stream's second waveform repeats the first.
    auto r = make(1, 0, 2);
    r.thread->Produce();
    EXPECT_EQ(area(r.thread->Block(), 0), std::vector<uint8_t>(576, 1));
    EXPECT_EQ(area(r.thread->Block(), 1), std::vector<uint8_t>(576, 1));

    // Two spectra of a six-channel stream: the mixed FFT twice; at most 2 data channels.
    auto s = make(6, 2, 0);
    s.thread->Produce();
    EXPECT_EQ(area(s.thread->Block(), 1), std::vector<uint8_t>(576, 128));
    EXPECT_EQ(s.thread->Block().dataChannels, 2u);
    takeCodes();
}

TEST(VisData, CountsOutsideZeroToTwoAreBounded) {
    auto p = make(2, 7, -3);
    p.thread->Produce();
    const VisDataBlock& b = p.thread->Block();
    EXPECT_EQ(area(b, 1), std::vector<uint8_t>(576, 102));  // two spectra
    EXPECT_EQ(area(b, 2), std::vector<uint8_t>(576, 0));    // no waveform
    // A period of 0 or less becomes 10 ms.
    p.thread->SetPluginParams(0, 0, 1, 1);
    EXPECT_EQ(p.thread->PeriodMs(), 10u);
    p.thread->SetPluginParams(0, -50, 1, 1);
    EXPECT_EQ(p.thread->PeriodMs(), 10u);
    takeCodes();
}

TEST(VisData, NothingIsProducedWithoutEnoughOutput) {
    auto p = make(2, 1, 1);
    p.source->available = 2 * 2048 - 1;
    p.thread->Produce();
    p.source->available = 1u << 20;
    p.source->playing = false;
    p.thread->Produce();
    EXPECT_EQ(p.thread->Block().dataReady.load(), 0u);
    EXPECT_TRUE(takeCodes().empty());
}

TEST(VisData, TwentyPeriodsNotTakenPostOneReminder) {
    auto p = make(2, 1, 0);
    p.thread->Produce();  // data ready, not taken from now on
    EXPECT_EQ(takeCodes(), std::vector<WPARAM>{kVisNewData});
    for (int i = 0; i < 19; ++i) p.thread->Produce();
    EXPECT_TRUE(takeCodes().empty());
    p.thread->Produce();
    EXPECT_EQ(takeCodes(), std::vector<WPARAM>{kVisDataNotTaken});
    for (int i = 0; i < 20; ++i) p.thread->Produce();  // counting started again
    EXPECT_EQ(takeCodes(), std::vector<WPARAM>{kVisDataNotTaken});
}

TEST(VisData, APeriodAboveASecondEndsProductionForGood) {
    auto p = make(2, 1, 0);
    p.thread->SetPluginParams(0, 1500, 1, 0);
    p.thread->Resume();
    EXPECT_TRUE(pumpUntil([&] { return !p.thread->Producing(); }, 3000));
    // Only the first expiry (250 ms after the start) came.
    const int steps = p.source->steps;
    EXPECT_EQ(steps, 1);
    // A shorter period afterwards changes nothing: the thread is gone.
    p.thread->SetPluginParams(0, 20, 1, 0);
    pumpFor(400);
    EXPECT_EQ(p.source->steps.load(), steps);
}

// The thread at its pace, with a consumer taking the data as the driver does: the
// hand-over through the data-ready flag (run under the thread sanitizer too).
TEST(VisData, ThePacedThreadHandsDataOverThroughTheFlag) {
    auto p = make(2, 2, 2);
    VisDataBlock& block = p.thread->Block();
    std::atomic<bool> stop{false};
    std::atomic<int> taken{0};
    std::atomic<bool> torn{false};
    std::thread consumer([&] {
        while (!stop) {
            if (block.dataReady.load(std::memory_order_acquire) == 1) {
                if (block.data[0] != 51 || block.data[3 * 576 + 575] != 2 || block.position != 1234)
                    torn = true;
                ++taken;
                block.dataReady.store(0, std::memory_order_release);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto started = std::chrono::steady_clock::now();
    p.thread->Resume();
    EXPECT_TRUE(pumpUntil([&] { return taken >= 10; }, 5000));
    // The first period ends 250 ms after the start.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(240));
    p.thread->Suspend();
    pumpFor(100);
    const int steps = p.source->steps;
    pumpFor(200);
    EXPECT_EQ(p.source->steps.load(), steps);  // suspended: no more periods
    stop = true;
    consumer.join();
    EXPECT_FALSE(torn.load());
    takeCodes();
}

}  // namespace
