// What plug-ins are answered on the emulated Winamp window and the engine's message
// window, the service object, and where a plug-in's windows are placed.
#include <cstring>

#include "plugins/PluginHost.h"
#include "plugins/VisDriver.h"
#include "plugins/WinampIPC.h"
#include "tests/vis/VisTest.h"

namespace {

using namespace vistest;
using namespace quillet::plugins;

class EmulatedWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(InitPluginHost(engine.hwnd(), owner.hwnd(), nullptr, 0xC000));
        window = HostWinampWindow();
        ASSERT_NE(window, nullptr);
        TStreamInfo info;
        info.Title = "Song";
        info.SampleRate = 22050;
        info.BitRate = 96;
        info.Channels = 1;
        info.Duration = 125999;
        SetHostStreamInfo(info);
    }
    void TearDown() override { ShutdownPluginHost(); }
    LRESULT ipc(LPARAM code, WPARAM wParam = 0) { return SendMessage(window, WM_WA_IPC, wParam, code); }

    EngineWindow engine{0xC000};
    OwnerWindow owner;
    HWND window = nullptr;
};

TEST_F(EmulatedWindow, AnswersFromTheMirror) {
    EXPECT_EQ(ipc(IPC_GETVERSION), 0x2041);
    SetHostPlayerMode(plmPaused);
    EXPECT_EQ(ipc(IPC_ISPLAYING), 3);
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME), -1);  // paused: no position here
    SetHostPlayerMode(plmPlaying);
    EXPECT_EQ(ipc(IPC_ISPLAYING), 1);
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME), 0);  // no channel: position 0
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME, 1), 125);
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME, 2), 0);
    EXPECT_EQ(ipc(IPC_GETINFO, 0), 22050);
    EXPECT_EQ(ipc(IPC_GETINFO, 1), 96);
    EXPECT_EQ(ipc(IPC_GETINFO, 2), 1);
    EXPECT_EQ(ipc(IPC_GETINFO, 3), 0);
    EXPECT_EQ(ipc(IPC_GETLISTLENGTH), 0);
    EXPECT_EQ(ipc(IPC_GETLISTPOS), -1);
    EXPECT_STREQ(reinterpret_cast<const char*>(ipc(IPC_GETPLAYLISTFILE, 3)), "");
    EXPECT_EQ(reinterpret_cast<HWND>(ipc(IPC_GETWND, 1)), window);
    EXPECT_EQ(ipc(IPC_GETWND, 2), 0);  // no mini-browser
    const std::string ini = reinterpret_cast<const char*>(ipc(IPC_GETINIFILE));
    EXPECT_EQ(ini.substr(ini.size() - 18), "Plugins/plugin.ini");
    // The drawer libraries are absent: their requests answer 0.
    for (LPARAM code :
         {LPARAM{IPC_MBOPEN}, LPARAM{IPC_GET_GENSKINBITMAP}, LPARAM{IPC_GET_EMBEDIF}, LPARAM{9999}})
        EXPECT_EQ(ipc(code), 0);
    // The engine's message window answers a few of these its own way.
    EXPECT_EQ(EngineWindowIPC(0, IPC_GETVERSION), 0x5010);
    EXPECT_EQ(EngineWindowIPC(0, IPC_GETLISTPOS), -1);
    EXPECT_EQ(EngineWindowIPC(0, IPC_ISPLAYING), 0);
}

TEST_F(EmulatedWindow, WindowTextNeverPassesTheBuffer) {
    struct Case {
        WPARAM size;
        LRESULT copied;
        const char* text;  // nullptr: the buffer is untouched
    };
    for (const Case& c :
         {Case{64, 13, "Song - Winamp"}, Case{6, 5, "Song "}, Case{1, 0, ""}, Case{0, 0, nullptr}}) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(SendMessage(window, WM_GETTEXT, c.size, reinterpret_cast<LPARAM>(buffer)), c.copied)
            << c.size;
        if (c.text) {
            EXPECT_STREQ(buffer, c.text);
            EXPECT_EQ(buffer[c.copied + 1], 'x');
        } else {
            EXPECT_EQ(buffer[0], 'x');
        }
    }
    // A cut never splits a character.
    TStreamInfo info;
    info.Title = "\xE6\xAD\x8C\xE6\x9B\xB2";  // two three-byte characters
    SetHostStreamInfo(info);
    char buffer[6];
    EXPECT_EQ(SendMessage(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 3);
}

TEST_F(EmulatedWindow, ExtendedFileInfoPointsAtTheHostsText) {
    char own[16] = "unchanged";
    struct Case {
        const char* file;
        const char* name;
        size_t length;
        const char* answer;  // nullptr: the record keeps its pointer
    };
    for (const Case& c : {Case{"  ", "title", 0, nullptr}, Case{"", "title", 16, "Quillet"},
                          Case{"", "artist", 16, "Quillet"}, Case{"/a.mp3", "title", 16, ""},
                          Case{"", "Title", 16, nullptr}, Case{"", "album", 16, nullptr}}) {
        extendedFileInfoStruct request{c.file, c.name, own, c.length};
        EXPECT_EQ(ipc(IPC_GET_EXTENDED_FILE_INFO, reinterpret_cast<WPARAM>(&request)), 1);
        if (c.answer) {
            EXPECT_NE(request.ret, own);
            EXPECT_STREQ(request.ret, c.answer);
        } else {
            EXPECT_EQ(request.ret, own) << c.file << " " << c.name;
        }
        EXPECT_STREQ(own, "unchanged");
    }
}

TEST(ServiceObject, HandsOutTheLanguageInterfaceAndNoFakeResources) {
    using Dispatch = int (*)(void*, int, void*, void**, int);
    auto call = [](void* object, int msg, void* result, std::vector<void*> params) {
        auto dispatch = *static_cast<Dispatch* const*>(object);
        return dispatch[0](object, msg, result, params.data(), int(params.size()));
    };
    const unsigned char language[16] = {0xE5, 0xD4, 0xAE, 0x30, 0x10, 0xEF, 0x77, 0x42,
                                        0x8D, 0x49, 0x27, 0xAB, 0x55, 0x70, 0xE8, 0x91};
    unsigned char other[16] = {1};
    void* object = reinterpret_cast<void*>(EngineWindowIPC(0, IPC_GET_API_SERVICE));
    void* result = nullptr;
    // As the service manager: only the language interface is offered.
    EXPECT_EQ(call(object, 30, &result, {nullptr, nullptr}), 0);
    EXPECT_EQ(call(object, 50, &result, {other}), 0);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(call(object, 50, &result, {const_cast<unsigned char*>(language)}), 1);
    EXPECT_EQ(result, object);
    // As the language interface.
    EXPECT_EQ(call(object, 30, &result, {nullptr, nullptr}), 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(result), 0xDEADC0DEu);
    EXPECT_EQ(call(object, 30, &result, {nullptr}), 0);  // wrong parameter count
    result = nullptr;
    // Resources of a module (strings, dialogs, menus): a failed call, nothing stored.
    EXPECT_EQ(
        call(object, 10, &result, {nullptr, nullptr, reinterpret_cast<void*>(intptr_t{5}), nullptr, nullptr}),
        0);
    EXPECT_EQ(call(object, 11, &result, std::vector<void*>(5)), 0);
    for (int msg : {50, 51, 53, 54}) EXPECT_EQ(call(object, msg, &result, std::vector<void*>(6)), 0) << msg;
    EXPECT_EQ(call(object, 52, &result, std::vector<void*>(3)), 0);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(call(object, 300, &result, {}), 1);
    EXPECT_EQ(result, object);
    // A second request gives the service manager again.
    object = reinterpret_cast<void*>(EngineWindowIPC(0, IPC_GET_API_SERVICE));
    EXPECT_EQ(call(object, 30, &result, {nullptr, nullptr}), 0);
}

TEST(VisPlacement, APluginWindowGoesBesideTheOwnerInsideTheWorkArea) {
    const RECT work{0, 0, 1280, 1000};  // a 24-pixel panel along the bottom of 1280 x 1024
    struct Case {
        const char* where;
        RECT owner;
        RECT expected;
    };
    for (const Case& c : {
             Case{"floating, room on the right", {100, 100, 300, 120}, {300, 100, 500, 250}},
             Case{"floating at the bottom right", {1080, 980, 1280, 1000}, {880, 850, 1080, 1000}},
             Case{"docked in the bottom panel", {900, 1000, 1100, 1024}, {900, 850, 1100, 1000}},
             Case{"past the right edge", {1200, 500, 1400, 520}, {1000, 500, 1200, 650}},
         }) {
        const RECT r = PlaceBesideOwner(c.owner, 200, 150, work);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}),
                  (std::vector<LONG>{c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}))
            << c.where;
    }
    // A strip in a panel along the top: below it.
    const RECT top = PlaceBesideOwner({900, 0, 1100, 24}, 200, 150, RECT{0, 24, 1280, 1024});
    EXPECT_EQ((std::vector<LONG>{top.left, top.top}), (std::vector<LONG>{900, 24}));
    // Larger than the work area: it is cut to it.
    const RECT big = PlaceBesideOwner({100, 100, 300, 120}, 2000, 2000, work);
    EXPECT_EQ((std::vector<LONG>{big.left, big.top, big.right, big.bottom}),
              (std::vector<LONG>{0, 0, 1280, 1000}));
}

TEST(VisPlacement, AnEmbedFrameIsAboveTheOwnerOrCentred) {
    const RECT owner{100, 500, 300, 520};
    const POINT above = EmbedFramePosition(&owner, true, 400, 240, 1280, 1024);
    EXPECT_EQ((std::vector<LONG>{above.x, above.y}), (std::vector<LONG>{100, 226}));
    const POINT centred = EmbedFramePosition(nullptr, true, 400, 300, 1280, 1024);
    EXPECT_EQ((std::vector<LONG>{centred.x, centred.y}), (std::vector<LONG>{440, 362}));
    const POINT plain = EmbedFramePosition(nullptr, false, 0, 0, 1280, 1024);
    EXPECT_EQ((std::vector<LONG>{plain.x, plain.y}), (std::vector<LONG>{480, 392}));
}

TEST(VisPlacement, AFrameOffTheScreenIsMovedWhollyOntoIt) {
    const RECT work{0, 24, 1280, 1024};
    struct Case {
        RECT frame;
        RECT expected;
    };
    for (const Case& c : {
             Case{{100, -174, 420, 65}, {100, 24, 420, 263}},        // above an owner at the top
             Case{{1100, 900, 1420, 1139}, {960, 785, 1280, 1024}},  // past the bottom-right corner
             Case{{-50, 300, 270, 539}, {0, 300, 320, 539}},
             Case{{500, 400, 820, 639}, {500, 400, 820, 639}},  // inside: kept
             Case{{500, 400, 1900, 639}, {0, 400, 1400, 639}},  // wider than the screen: from its left
         }) {
        const RECT r = KeepInside(c.frame, work);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}),
                  (std::vector<LONG>{c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}));
    }
}

}  // namespace
