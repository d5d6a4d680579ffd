// The engine's add-on steps at start-up, in a program folder made for each
// case: which add-ons are there decides the readiness flags, the CD drives
// and exactly which messages the start shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

fs::path binDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// The add-on files of the build, by the name they have in a program folder.
const std::map<std::string, std::vector<std::string>> kAddons = {
    {"wma", {"libbasswma.so", "libbasswma-ffmpeg.so"}},
    {"cd", {"libbasscd.so", "libbasscd-cdio.so"}},
    {"midi", {"libbassmidi.so"}},
    {"mix", {"libbassmix.so"}},
};

struct Start {
    std::vector<std::string> boxes, drives, messages;
    std::string ready;  // "WMA CD MIDI MIXER" as 0/1
};

class EngineAddons : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quillet-addon-start-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
        copy("addon_start_probe");
        copy("libbass.so");
        unsetenv("QUILLET_CD_DRIVES");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    void copy(const std::string& name, const std::string& as = "") {
        fs::copy_file(binDir() / name, folder / (as.empty() ? name : as),
                      fs::copy_options::overwrite_existing);
    }
    void addAll(const std::vector<std::string>& which) {
        for (const auto& addon : which)
            for (const auto& file : kAddons.at(addon)) copy(file);
    }
    Start start() {
        Start s;
        FILE* out = popen((folder / "addon_start_probe").c_str(), "r");
        if (!out) return s;
        char line[1024];
        while (std::fgets(line, sizeof line, out)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n') text.pop_back();
            const auto space = text.find(' ');
            const std::string kind = text.substr(0, space), rest = text.substr(space + 1);
            if (kind == "box") s.boxes.push_back(rest);
            if (kind == "ready") s.ready = rest;
            if (kind == "drive") s.drives.push_back(rest);
            if (kind == "message") s.messages.push_back(rest);
        }
        EXPECT_EQ(pclose(out), 0);
        return s;
    }
    fs::path folder;
};

TEST_F(EngineAddons, AllFourPresentShowNothing) {
    addAll({"wma", "cd", "midi", "mix"});
    const Start s = start();
    EXPECT_EQ(s.ready, "1 1 1 1");
    EXPECT_THAT(s.boxes, IsEmpty());
    EXPECT_THAT(s.messages, IsEmpty());
    if (!fs::exists("/proc/sys/dev/cdrom/info")) {
        EXPECT_THAT(s.drives, IsEmpty());  // a machine without CD drives
    }
        EXPECT_THAT(s.drives, IsEmpty());  // a machine without CD drives
}

TEST_F(EngineAddons, EachMissingAddOnShowsExactlyItsMessage) {
    struct Case {
        const char* removed;
        const char* ready;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"wma", "0 1 1 1", {"BASSWMA.DLL is not loaded."}},
        {"cd", "1 0 1 1", {"BASSCD.DLL is not loaded."}},
        {"midi", "1 1 0 1", {"BASSMIDI.DLL is not loaded."}},
        {"mix", "1 1 1 0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.removed);
        TearDown();
        SetUp();
        for (const auto& [addon, files] : kAddons)
            if (addon != c.removed) addAll({addon});
        const Start s = start();
        EXPECT_EQ(s.ready, c.ready);
        EXPECT_THAT(s.boxes, IsEmpty());
        EXPECT_EQ(s.messages, c.messages);
    }
}

TEST_F(EngineAddons, WithoutAnyAddOnTheMessagesComeInOrder) {
    const Start s = start();
    EXPECT_EQ(s.ready, "0 0 0 0");
    EXPECT_THAT(s.messages, ElementsAre("BASSWMA.DLL is not loaded.", "BASSCD.DLL is not loaded.",
                                        "BASSMIDI.DLL is not loaded."));
}

TEST_F(EngineAddons, ALibraryLackingAnEntryPointCountsAsAbsent) {
    addAll({"midi"});
    // A WMA add-on without its registration, a CD add-on without
    // BASS_CD_GetTrackLength and a mixer without BASS_Mixer_GetVersion.
    copy("libbassmidi.so", "libbasswma.so");
    copy("libqoddcd.so", "libbasscd.so");
    copy("libbassmidi.so", "libbassmix.so");
    const Start s = start();
    EXPECT_EQ(s.ready, "0 0 1 0");
    EXPECT_THAT(s.boxes, IsEmpty());
    EXPECT_THAT(s.messages, ElementsAre("BASSWMA.DLL is not loaded.", "BASSCD.DLL is not loaded."));
}

TEST_F(EngineAddons, AMixerOfAnotherVersionIsReportedOnce) {
    addAll({"wma", "cd", "midi"});
    copy("libqoddmixer.so", "libbassmix.so");
    const Start s = start();
    EXPECT_EQ(s.ready, "1 1 1 0");
    EXPECT_THAT(s.boxes, ElementsAre("BASS Mixer version is not 2.4 !"));
    EXPECT_THAT(s.messages, IsEmpty());
}

TEST_F(EngineAddons, ListsTheCdDrivesWithTheirLettersAndNames) {
    addAll({"wma", "cd", "midi", "mix"});
    const std::string image = std::string(QUILLET_FIXTURES) + "/cd/disc.cue";
    setenv("QUILLET_CD_DRIVES", (image + ":" + image).c_str(), 1);
    const Start s = start();
    EXPECT_THAT(s.drives, ElementsAre("D: disc.cue", "E: disc.cue"));
}

}  // namespace
