// Helpers of the engine's tests: the engine on device 0 (no sound, timed by the
// clock), its message pump, recorded events and message boxes, and WAV files
// written on the spot.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/VAVIVerovu.h"
#include "platform/win/MessageBox.h"

namespace enginetest {

// Pumps the thread's messages (the engine's notifications) for `ms`.
void pumpFor(int ms);
// Pumps until pred() holds or `timeoutMs` passes; returns pred().
bool pumpUntil(const std::function<bool()>& pred, int timeoutMs);

// A PCM WAV of a sine (16-bit, 44100 Hz unless given) in a fresh temporary folder.
std::string writeSineWav(const std::string& name, double seconds, int channels = 2, double frequency = 441.0,
                         double amplitude = 0.5, int rate = 44100);

// One engine per test, with its events and message boxes recorded.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "plmStandby>plmReady" for every OnModeChange, "end" for every OnPlayEnd, in order.
    std::vector<std::string> events;
    std::vector<std::string> boxTexts() const;
    void clearEvents() { events.clear(); }
    // Plays `path` from the start and waits until it plays.
    void openAndPlay(const std::string& path);

    std::unique_ptr<TVAVIVerovu> engine;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
};

}  // namespace enginetest
