#include "tests/engine/EngineTest.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/win/MessageLayer.h"

namespace enginetest {

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

bool pumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        quillet::win::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

namespace {

void put16(FILE* f, uint16_t v) {
    std::fwrite(&v, 2, 1, f);
}
void put32(FILE* f, uint32_t v) {
    std::fwrite(&v, 4, 1, f);
}

std::string tempFolder() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/quillet-engine-XXXXXX";
        const char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

}  // namespace

std::string writeSineWav(const std::string& name, double seconds, int channels, double frequency,
                         double amplitude, int rate) {
    const std::string path = tempFolder() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return path;
    const uint32_t frames = uint32_t(seconds * rate);
    const uint32_t dataBytes = frames * uint32_t(channels) * 2;
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);
    put16(f, uint16_t(channels));
    put32(f, uint32_t(rate));
    put32(f, uint32_t(rate * channels * 2));
    put16(f, uint16_t(channels * 2));
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    std::vector<int16_t> frame(static_cast<size_t>(channels));
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * frequency * i / rate);
        for (auto& s : frame) s = int16_t(std::lround(v * 32767));
        std::fwrite(frame.data(), 2, frame.size(), f);
    }
    std::fclose(f);
    return path;
}

void EngineTest::SetUp() {
    boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
    quillet::win::setMessageBoxPresenter(boxes);
    engine = std::make_unique<TVAVIVerovu>(nullptr, TVAVIVerovu::kNoSoundDevice);
    ASSERT_TRUE(engine->BASSReady()) << (boxTexts().empty() ? "" : boxTexts().front());
    engine->OnModeChange = [this](TVAVIVerovu*, TPlayerMode from, TPlayerMode to) {
        events.push_back(std::string(PlayerModeName(from)) + ">" + PlayerModeName(to));
    };
    engine->OnPlayEnd = [this](TVAVIVerovu* sender) {
        EXPECT_EQ(sender->Mode(), plmStopped);
        events.push_back("end");
    };
}

void EngineTest::TearDown() {
    engine.reset();
    quillet::win::setMessageBoxPresenter(nullptr);
}

std::vector<std::string> EngineTest::boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes->boxes()) texts.push_back(b.text);
    return texts;
}

void EngineTest::openAndPlay(const std::string& path) {
    ASSERT_TRUE(engine->Open(path)) << path;
    engine->Play();
    ASSERT_EQ(engine->Mode(), plmPlaying);
}

}  // namespace enginetest
