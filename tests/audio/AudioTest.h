// Helpers shared by the audio library's tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/audio/bass.h"
#include "tests/audio/ToneFile.h"

namespace audiotest {

// The folder of the running test executable (where libbass.so and the test
// add-on are built).
std::string exeDir();
std::string fixture(const std::string& name);  // tests/fixtures/audio/<name>

// A fresh temporary file path for this test.
std::string tempPath(const std::string& name);
// Writes a tone file and returns its path.
std::string toneFile(const tonefile::Header& h, const std::string& name = "tone.qtone");

double seconds(DWORD handle, QWORD bytes);
double positionSeconds(DWORD handle);

// Waits until `pred` holds or `timeout` passes; returns pred().
template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A sync callback that counts and time-stamps its calls.
struct SyncProbe {
    std::atomic<int> calls{0};
    std::atomic<DWORD> data{0};
    std::atomic<int64_t> firstAtUs{0};
    std::atomic<bool> onLibraryThread{true};
    std::thread::id callerThread;
    static void onSync(HSYNC, DWORD, DWORD data, void* user);
    HSYNC attach(DWORD handle, DWORD type);
};

int64_t nowUs();

// Initialises device `device` and loads the test add-on for a suite.
class LibraryTest : public ::testing::Test {
  public:
    static void initLibrary(int device);
    static void freeLibrary();
    static HPLUGIN plugin;
};

}  // namespace audiotest
