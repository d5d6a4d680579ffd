// The run-time binding: a library is used all or nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "engine/bass/Dynamic_Bass.h"

namespace {

TEST(BassBinding, LoadsTheLibraryBesideTheExecutableOnce) {
    ASSERT_TRUE(Load_BASSDLL(""));
    EXPECT_TRUE(BASS_Loaded());
    ASSERT_NE(Bass.BASS_ChannelRemoveSync, nullptr);
    EXPECT_EQ(Bass.BASS_GetVersion() >> 16, DWORD(BASSVERSION));
    EXPECT_TRUE(Load_BASSDLL("/no/such/libbass.so"));  // already loaded: succeeds at once
    Unload_BASSDLL();
    EXPECT_FALSE(BASS_Loaded());
    EXPECT_EQ(Bass.BASS_GetVersion, nullptr);
    EXPECT_FALSE(Load_BASSDLL("/no/such/libbass.so"));
}

TEST(BassBinding, ALibraryMissingAnEntryPointCountsAsAbsent) {
    // The core library is a real library without the CD add-on's entry points.
    EXPECT_FALSE(Load_BASSCDDLL(ExecutableFolder() + kBassLibrary));
    EXPECT_EQ(BassCD.BASS_CD_GetInfo, nullptr);
    EXPECT_FALSE(Load_BASSMIXDLL(ExecutableFolder() + kBassLibrary));
    EXPECT_FALSE(Load_BASSCDDLL(""));
    EXPECT_FALSE(Load_BASSMIDIDLL(ExecutableFolder() + "libbassmidi.so.missing"));
}

TEST(BassBinding, SaysWhyALibraryDidNotLoad) {
    setenv("QUILLET_LOG", "1", 1);
    struct Case {
        bool (*load)(const std::string&);
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {Load_BASSCDDLL, ExecutableFolder() + kBassLibrary, "lacks BASS_CD_GetInfo"},
        {Load_BASSMIXDLL, "/no/such/libbassmix.so", "/no/such/libbassmix.so: cannot open shared object file"},
        {Load_BASSMIDIDLL, "/no/such/libbassmidi.so",
         "/no/such/libbassmidi.so: cannot open shared object file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(c.load(c.path));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.rfind("quillet: binding: library not loaded: ", 0), 0u) << log;
        EXPECT_NE(log.find(c.reason), std::string::npos) << log;
    }
    unsetenv("QUILLET_LOG");
}

}  // namespace
