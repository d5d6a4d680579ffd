// Helpers of the add-on tests: the library on device 0 with an add-on
// attached, fixtures, and whole-stream decoding.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audio/bass.h"

namespace addontest {

std::string exeDir();
std::string fixture(const std::string& dir, const std::string& name);  // tests/fixtures/<dir>/<name>
std::string tempDir();                                                 // a fresh folder for this process

// Decodes a decoding channel to its end as 16-bit samples.
std::vector<int16_t> decodeAll(DWORD handle);
// The frequency of a sine in one channel of interleaved samples, from the
// zero crossings (Hz).
double sineFrequency(const std::vector<int16_t>& samples, int channels, int rate);
// The strings of a NUL-separated series ended by an empty one.
std::vector<std::string> series(const char* tags);

// Initialises device 0 once for the whole test program.
class LibraryEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace addontest
