// The CD add-on over a cue/bin image read through libcdio's image driver, and
// its drive list and track names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/audio/basscd.h"
#include "platform/audio/cd/CdDrives.h"
#include "tests/audio-addons/AddonTest.h"

namespace {

constexpr DWORD kSector = 2352;
constexpr DWORD kTrackSectors[] = {38, 113, 38};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Drives D: the fixture image, E: an image whose bin is missing, F: an image
// whose bin stops in the middle of track 2.
class CdEnvironment : public addontest::LibraryEnvironment {
  public:
    void SetUp() override {
        LibraryEnvironment::SetUp();
        const std::string dir = addontest::tempDir();
        std::ofstream(dir + "/missing.cue")
            << "FILE \"nothere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
        const std::string bin = readFile(addontest::fixture("cd", "disc.bin"));
        std::ofstream(dir + "/cut.bin", std::ios::binary) << bin.substr(0, 100 * kSector + 1000);
        std::string cue = readFile(addontest::fixture("cd", "disc.cue"));
        cue.replace(cue.find("disc.bin"), 8, "cut.bin");
        std::ofstream(dir + "/cut.cue") << cue;
        const std::string drives =
            addontest::fixture("cd", "disc.cue") + ":" + dir + "/missing.cue:" + dir + "/cut.cue";
        setenv("QUILLET_CD_DRIVES", drives.c_str(), 1);
    }
};
const ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new CdEnvironment);

class CdAddon : public ::testing::Test {
  protected:
    void TearDown() override {
        if (handle) BASS_StreamFree(handle);
    }
    DWORD handle = 0;
};

TEST_F(CdAddon, ListsTheDrivesLetteredFromD) {
    BASS_CD_INFO info{};
    ASSERT_TRUE(BASS_CD_GetInfo(0, &info));
    EXPECT_EQ(info.letter, 'D' - 'A');
    EXPECT_STREQ(info.product, "disc.cue");
    ASSERT_TRUE(BASS_CD_GetInfo(2, &info));
    EXPECT_EQ(info.letter, 'F' - 'A');
    EXPECT_STREQ(info.product, "cut.cue");
    EXPECT_FALSE(BASS_CD_GetInfo(3, &info));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_CD_GetInfo(0, nullptr));
}

TEST_F(CdAddon, ReadsTheTracksOfTheImage) {
    EXPECT_TRUE(BASS_CD_IsReady(0));
    EXPECT_EQ(BASS_CD_GetTracks(0), 3u);
    for (DWORD t = 0; t < 3; ++t) EXPECT_EQ(BASS_CD_GetTrackLength(0, t), kTrackSectors[t] * kSector) << t;
    EXPECT_EQ(BASS_CD_GetTrackLength(0, 3), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
    // A cue sheet whose data file is missing is a drive without a disc.
    EXPECT_FALSE(BASS_CD_IsReady(1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOCD);
    EXPECT_EQ(BASS_CD_GetTracks(1), DWORD(-1));
    EXPECT_EQ(BASS_CD_GetTracks(7), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

TEST_F(CdAddon, ATrackFileStreamsTheTracksSamples) {
    handle = BASS_CD_StreamCreateFile("D:/Track02.cda", BASS_STREAM_DECODE);
    ASSERT_NE(handle, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(handle, &ci));
    EXPECT_EQ(ci.ctype, DWORD(BASS_CTYPE_STREAM_CD));
    EXPECT_EQ(ci.freq, 44100u);
    EXPECT_EQ(ci.chans, 2u);
    EXPECT_STREQ(ci.filename, "D:/Track02.cda");
    EXPECT_EQ(BASS_ChannelGetLength(handle, BASS_POS_BYTE), QWORD(kTrackSectors[1] * kSector));

    // The samples are the image's, bit for bit, from the start and after a seek.
    const std::string bin = readFile(addontest::fixture("cd", "disc.bin"));
    const std::string track = bin.substr(kTrackSectors[0] * kSector, kTrackSectors[1] * kSector);
    const auto whole = addontest::decodeAll(handle);
    ASSERT_EQ(whole.size() * 2, track.size());
    EXPECT_EQ(std::memcmp(whole.data(), track.data(), track.size()), 0);
    const QWORD at = BASS_ChannelSeconds2Bytes(handle, 1.0);
    ASSERT_TRUE(BASS_ChannelSetPosition(handle, at, BASS_POS_BYTE));
    int16_t buf[1000];
    ASSERT_EQ(BASS_ChannelGetData(handle, buf, sizeof buf), DWORD(sizeof buf));
    EXPECT_EQ(std::memcmp(buf, track.data() + at, sizeof buf), 0);
}

TEST_F(CdAddon, TrackNamesAreCheckedBeforeTheDiscIsRead) {
    struct Case {
        const char* name;
        int error;
    };
    const Case cases[] = {
        {"d:\\TRACK03.CDA", BASS_OK},
        {"E:/Track01.cda", BASS_ERROR_NOCD},
        {"G:/Track01.cda", BASS_ERROR_DEVICE},
        {"D:/Track04.cda", BASS_ERROR_CDTRACK},
        {"D:/Track00.cda", BASS_ERROR_FILEOPEN},
        {"D:/Trackxx.cda", BASS_ERROR_FILEOPEN},
        {"D:/Track01.wav", BASS_ERROR_FILEOPEN},
        {"C:/Track01.cda", BASS_ERROR_FILEOPEN},
        {"D:Track01.cda", BASS_ERROR_FILEOPEN},
        {"", BASS_ERROR_FILEOPEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HSTREAM h = BASS_CD_StreamCreateFile(c.name, BASS_STREAM_DECODE);
        EXPECT_EQ(BASS_ErrorGetCode(), c.error);
        EXPECT_EQ(h != 0, c.error == BASS_OK);
        if (h) BASS_StreamFree(h);
    }
    EXPECT_EQ(BASS_CD_StreamCreateFile(nullptr, 0), 0u);
}

TEST_F(CdAddon, ACutImageKeepsWhatItHoldsAndLosesTheRest) {
    // The bin stops 100 sectors in: the cue sheet still gives track 2 its
    // length and the stream plays what the bin holds, and no more than that
    // length; track 3 lies wholly past the end and is gone.
    EXPECT_EQ(BASS_CD_GetTrackLength(2, 1), kTrackSectors[1] * kSector);
    handle = BASS_CD_StreamCreate(2, 1, BASS_STREAM_DECODE);
    ASSERT_NE(handle, 0u) << BASS_ErrorGetCode();
    const auto samples = addontest::decodeAll(handle);
    ASSERT_LE(samples.size() * 2, kTrackSectors[1] * kSector);
    const size_t held = (100 - kTrackSectors[0]) * kSector;
    ASSERT_GE(samples.size() * 2, held);
    const std::string bin = readFile(addontest::fixture("cd", "disc.bin"));
    EXPECT_EQ(std::memcmp(samples.data(), bin.data() + kTrackSectors[0] * kSector, held), 0);
    EXPECT_EQ(BASS_CD_StreamCreate(2, 2, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
}

TEST_F(CdAddon, PlaysATrackToItsEnd) {
    handle = BASS_CD_StreamCreate(0, 0, 0);
    ASSERT_NE(handle, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_ChannelPlay(handle, FALSE));
    // 38 sectors are 0.51 s, timed by the clock on device 0.
    const auto started = std::chrono::steady_clock::now();
    while (BASS_ChannelIsActive(handle) == BASS_ACTIVE_PLAYING &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(BASS_ChannelIsActive(handle), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
    EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), QWORD(kTrackSectors[0] * kSector));
}

// The drive list of the system: the kernel's CD-ROM list and sysfs.
TEST(CdDrives, ReadsTheKernelsListInDeviceOrder) {
    namespace fs = std::filesystem;
    const fs::path sys = fs::path(addontest::tempDir()) / "sys-block";
    for (const char* name : {"sr0", "sr1", "sr10"}) {
        fs::create_directories(sys / name / "device");
        std::ofstream(sys / name / "device" / "vendor") << "VENDOR  \n";
        std::ofstream(sys / name / "device" / "model") << "Model " << name << "\n";
    }
    const std::string info =
        "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\n"
        "drive name:\t\tsr10\tsr1\tsr0\n"
        "drive speed:\t\t-4\t24\t48\n"
        "Can open tray:\t\t1\t0\t1\n"
        "Can lock tray:\t\t1\t1\t0\n"
        "Can write CD-R:\t\t0\t1\t0\n"
        "Can read DVD:\t\t1\t0\t0\n";
    const auto drives = qcd::drivesFromProcInfo(info, sys.string());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].device, "/dev/sr0");
    EXPECT_EQ(drives[1].device, "/dev/sr1");
    EXPECT_EQ(drives[2].device, "/dev/sr10");
    EXPECT_EQ(drives[0].vendor, "VENDOR");
    EXPECT_EQ(drives[1].product, "Model sr1");
    EXPECT_EQ(drives[0].maxSpeedKBs, 48u * 176u);
    EXPECT_EQ(drives[2].maxSpeedKBs, 0u);  // a negative speed is none
    EXPECT_TRUE(drives[0].canOpen);
    EXPECT_FALSE(drives[0].canLock);
    EXPECT_EQ(drives[1].rwflags, DWORD(BASS_CD_RWFLAG_READCDR | BASS_CD_RWFLAG_WRITECDR));
    EXPECT_EQ(drives[2].rwflags, DWORD(BASS_CD_RWFLAG_READDVD));

    EXPECT_TRUE(qcd::drivesFromProcInfo("", sys.string()).empty());
    EXPECT_TRUE(qcd::drivesFromProcInfo("drive name:\t../x\tsr/1\n", sys.string()).empty());
    EXPECT_EQ(qcd::drivesFromList("a.cue::/dev/sr0:").size(), 2u);
}

TEST(CdDrives, ParsesTrackFileNames) {
    struct Case {
        const char* name;
        bool ok;
        uint32_t drive, track;
    };
    const Case cases[] = {
        {"D:/Track05.cda", true, 0, 4},  {"e:\\track01.CDA", true, 1, 0}, {"Z:/Track99.cda", true, 22, 98},
        {"C:/Track05.cda", false, 0, 0}, {"D:/Track5.cda", false, 0, 0},  {"D:/Track05.cdaa", false, 0, 0},
        {"D:/Track00.cda", false, 0, 0}, {"D:/Tr ck05.cda", false, 0, 0}, {"1:/Track05.cda", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t drive = 77, track = 77;
        EXPECT_EQ(qcd::parseTrackFileName(c.name, drive, track), c.ok);
        if (c.ok) {
            EXPECT_EQ(drive, c.drive);
            EXPECT_EQ(track, c.track);
        }
    }
}

}  // namespace
