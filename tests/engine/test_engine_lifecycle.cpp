// The engine's life: what its destruction releases, and the refusals of Open that
// come after the new channel was made.
#include <fstream>
#include <vector>

#include "engine/bass/Dynamic_Bass.h"
#include "platform/win/WinApi.h"
#include "plugins/PluginHost.h"
#include "tests/engine/EngineTest.h"

using namespace enginetest;

namespace {

using Events = std::vector<std::string>;

// A silent PCM WAV of 32-bit samples (0.2 s, stereo, 44100 Hz) beside the sine files.
std::string write32BitWav() {
    const std::string sine = writeSineWav("sine.wav", 0.01);
    std::string path = sine.substr(0, sine.rfind('/') + 1) + "thirty-two.wav";
    const uint32_t frames = 8820, channels = 2, rate = 44100, bytes = frames * channels * 4;
    std::string wav;
    auto put = [&wav](uint32_t v, int size) { wav.append(reinterpret_cast<const char*>(&v), size_t(size)); };
    wav += "RIFF";
    put(36 + bytes, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 4, 4);
    put(channels * 4, 2);
    put(32, 2);
    wav += "data";
    put(bytes, 4);
    wav.append(bytes, '\0');
    std::ofstream(path, std::ios::binary) << wav;
    return path;
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
