// The run-time binding: a library is used all or nothing.
#include <gtest/gtest.h>

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

}  // namespace
