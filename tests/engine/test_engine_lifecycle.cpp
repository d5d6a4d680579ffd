// The engine's life: what its destruction releases, and the refusals of Open that
// come after the new channel was made.
#include <cstdio>
#include <vector>

#include "engine/Dynamic_Bass.h"
#include "platform/win/WinApi.h"
#include "plugins/PluginHost.h"
#include "tests/engine/EngineTest.h"

using namespace enginetest;

namespace {

using Events = std::vector<std::string>;

// A silent PCM WAV of 32-bit samples (0.2 s, stereo, 44100 Hz) beside the sine files.
std::string write32BitWav() {
    const std::string path = writeSineWav("room.wav", 0.01);  // for its folder
    const std::string wide = path.substr(0, path.rfind('/') + 1) + "thirty-two.wav";
    FILE* f = std::fopen(wide.c_str(), "wb");
    if (!f) return wide;
    const uint32_t frames = 8820, channels = 2, rate = 44100, bytes = frames * channels * 4;
    auto put32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto put16 = [f](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    put32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(16);
    put16(1);
    put16(uint16_t(channels));
    put32(rate);
    put32(rate * channels * 4);
    put16(uint16_t(channels * 4));
    put16(32);
    std::fwrite("data", 1, 4, f);
    put32(bytes);
    const std::vector<char> silence(bytes, 0);
    std::fwrite(silence.data(), 1, silence.size(), f);
    std::fclose(f);
    return wide;
}

TEST_F(EngineTest, DestructionReleasesWhatConstructionStarted) {
    openAndPlay(writeSineWav("a.wav", 2.0));
    const HWND window = engine->MessageWindow();
    ASSERT_TRUE(IsWindow(window));
    ASSERT_NE(HostWinampWindow(), nullptr);
    ASSERT_GT(OutputRingSize(), 0u);

    engine.reset();  // while playing through the fed output
    EXPECT_FALSE(BASS_Loaded());
    EXPECT_EQ(Bass.BASS_Init, nullptr);
    EXPECT_EQ(HostWinampWindow(), nullptr);
    EXPECT_EQ(OutputRingSize(), 0u);
    EXPECT_FALSE(IsWindow(window));

    // Nothing is left behind that keeps a second engine from starting afresh.
    engine = std::make_unique<TVAVIVerovu>(nullptr, TVAVIVerovu::kNoSoundDevice);
    ASSERT_TRUE(engine->BASSReady());
    EXPECT_TRUE(engine->BufferReady());
    EXPECT_EQ(engine->BASSDLLVer(), "2.4.0.1");
    ASSERT_TRUE(engine->Open(writeSineWav("b.wav", 1.0)));
    engine->Play();
    EXPECT_EQ(engine->Mode(), plmPlaying);
}

TEST_F(EngineTest, AThirtyTwoBitSourceIsRefusedAfterTheOldStreamClosed) {
    ASSERT_TRUE(engine->Open(writeSineWav("a.wav", 1.0)));
    clearEvents();
    EXPECT_FALSE(engine->Open(write32BitWav()));
    EXPECT_EQ(boxTexts(), (Events{"TVAVIVerovu does not support 32-bit sources."}));
    EXPECT_EQ(events, (Events{"plmReady>plmStandby"}));
    EXPECT_EQ(engine->StreamKind(), skNone);
    EXPECT_EQ(engine->DecodeChannel(), 0u);
    EXPECT_TRUE(engine->StreamName().empty());
}

}  // namespace
