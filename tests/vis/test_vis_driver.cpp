// The visualisation driver with the recording plug-in: starting, feeding, ending,
// plug-ins that fail or hang, the plug-in's window, and what the owner window
// answers while a plug-in runs.
#include <cstring>
#include <thread>

#include "platform/win/MessageBox.h"
#include "plugins/VisDriver.h"
#include "plugins/WinampVis.h"
#include "tests/vis/VisTest.h"

namespace {

using namespace vistest;
using quillet::plugins::VisDriverRunning;

class VisDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        block = std::make_unique<VisDataBlock>();
        engine = std::make_unique<EngineWindow>(message);
        SetVisDriverContext(owner.hwnd(), engine->hwnd(), message, nullptr, &block->lock, 0, block.get());
        attrs.Title = "Song";
        attrs.FileName = "/music/song.mp3";
        attrs.SampleRate = 44100;
        attrs.BitRate = 128;
        attrs.Duration = 61500;
        attrs.Channels = 2;
    }
    void TearDown() override {
        if (VisDriverRunning()) QuitVisDriver();
        SetVisDriverContext(nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr);
        quillet::win::setMessageBoxPresenter(nullptr);
    }

    // Starts module `index` of the probe configured with `options`; true when its
    // window was reported (code 60 with a record).
    bool start(const std::string& options, int index = 0, TPlayerMode mode = plmPlaying) {
        Probe::configure(options);
        thread = StartVisDriver(QUILLET_VIS_PROBE, index, nullptr, attrs, mode, false, false);
        if (!thread) return false;
        if (!engine->waitFor(kVisStarted, 8000)) return false;
        return started().withRecord;
    }
    const Notice& started() const {
        for (const Notice& n : engine->notices)
            if (n.code == kVisStarted) return n;
        static const Notice none{};
        return none;
    }
    // One frame in the block: spectrum channel c holds 10 + c, waveform channel c 20 + c.
    void feed(int spectra, int waves, uint32_t position = 777) {
        uint8_t* p = block->data;
        for (int c = 0; c < spectra; ++c, p += kVisChannelBytes) std::memset(p, 10 + c, kVisChannelBytes);
        for (int c = 0; c < waves; ++c, p += kVisChannelBytes) std::memset(p, 20 + c, kVisChannelBytes);
        block->dataSampleRate = 48000;
        block->dataChannels = 1;
        block->position = position;
        block->dataReady.store(1, std::memory_order_release);
        PostThreadMessage(thread, message, kVisNewData, 0);
    }
    LRESULT ipc(LPARAM code, WPARAM wParam = 0) { return SendMessage(owner.hwnd(), WM_WA_IPC, wParam, code); }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> t;
        for (const auto& b : boxes->boxes()) t.push_back(b.text);
        return t;
    }

    const UINT message = RegisterWindowMessage("WM_BASSSendingData");
    OwnerWindow owner;
    std::unique_ptr<VisDataBlock> block;
    std::unique_ptr<EngineWindow> engine;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    TChannelAttrb attrs;
    DWORD thread = 0;
};

TEST_F(VisDriver, AModuleStartsRendersTheBlockAndQuits) {
    ASSERT_TRUE(start(""));
    ASSERT_EQ(engine->count(kVisParamsChosen), 1);
    const TVisParams& p = engine->notices.front().params;
    EXPECT_EQ(engine->notices.front().code, WPARAM(kVisParamsChosen));
    EXPECT_EQ((std::vector<int>{p.latencyMs, p.delayMs, p.spectrumNch, p.waveformNch}),
              (std::vector<int>{25, 20, 2, 2}));
    const TVisPluginInfo& info = started().info;
    EXPECT_EQ(info.ThreadId, thread);
    EXPECT_EQ(info.VisWindow, Probe::window());
    EXPECT_EQ(info.WindowMode, 1u);
    EXPECT_TRUE(info.FirstStart);
    EXPECT_EQ(info.PluginFile, QUILLET_VIS_PROBE);
    EXPECT_EQ(Probe::count("init 0 sRate=44100 nCh=2"), 1);

    feed(2, 2);
    ASSERT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));
    EXPECT_EQ(Probe::count("render sRate=48000 nCh=1"), 1);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(Probe::last(0, c), std::vector<unsigned char>(576, 10 + c));
        EXPECT_EQ(Probe::last(1, c), std::vector<unsigned char>(576, 20 + c));
    }
    EXPECT_EQ(block->dataReady.load(), 0u);  // taken
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME), 777);

    QuitVisDriver();
    EXPECT_EQ(engine->count(kVisEnded), 1);
    EXPECT_EQ(Probe::count("quit 0"), 1);
    EXPECT_FALSE(VisDriverRunning());
    // The owner window has its own procedure back.
    const int before = OwnerWindow::ownMessages;
    EXPECT_EQ(ipc(IPC_GETVERSION), 0);
    EXPECT_EQ(OwnerWindow::ownMessages, before + 1);
}

TEST_F(VisDriver, ChannelCountsOfZeroAndOneCopyOnlyWhatIsWanted) {
    struct Case {
        const char* options;
        int spectra, waves;
    };
    for (const Case& c : {Case{"spectrum=1,waveform=0", 1, 0}, Case{"spectrum=0,waveform=1", 0, 1},
                          Case{"spectrum=1,waveform=1", 1, 1}}) {
        SCOPED_TRACE(c.options);
        engine->notices.clear();
        ASSERT_TRUE(start(c.options));
        // Mark what Render had before with a frame of other values.
        std::memset(block->data, 99, sizeof block->data);
        feed(c.spectra, c.waves);
        ASSERT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));
        // A count of 1 copies the first channel; the next buffer's data start 576 bytes later.
        if (c.spectra) {
            EXPECT_EQ(Probe::last(0, 0), std::vector<unsigned char>(576, 10));
        } else {
            EXPECT_NE(Probe::last(0, 0), std::vector<unsigned char>(576, 20));
        }
        if (c.waves) {
            EXPECT_EQ(Probe::last(1, 0), std::vector<unsigned char>(576, 20));
        }
        QuitVisDriver();
    }
}

TEST_F(VisDriver, FailedStartsReportNoWindow) {
    struct Case {
        const char* file;
        const char* options;
        int index;
        const char* box;  // nullptr: none
    };
    const std::string missing = ::testing::TempDir() + "/no-such-plugin.so";
    for (const Case& c :
         {Case{QUILLET_VIS_PROBE, "", 2, nullptr}, Case{QUILLET_VIS_PROBE, "", 5, nullptr},
          Case{QUILLET_VIS_PROBE, "fail_init=1", 0, "Failed initializing vis module"},
          Case{missing.c_str(), "", 0, "Failed loading vis module"}, Case{"libm.so.6", "", 0, nullptr}}) {
        SCOPED_TRACE(std::string(c.file) + " " + c.options + " " + std::to_string(c.index));
        engine->notices.clear();
        const size_t boxesBefore = boxTexts().size();
        Probe::configure(c.options);
        ASSERT_NE(StartVisDriver(c.file, c.index, nullptr, attrs, plmPlaying, false, false), 0u);
        ASSERT_TRUE(engine->waitFor(kVisEnded, 8000));
        ASSERT_EQ(engine->count(kVisStarted), 1);
        EXPECT_FALSE(started().withRecord);
        const auto texts = boxTexts();
        if (c.box) {
            ASSERT_EQ(texts.size(), boxesBefore + 1);
            EXPECT_EQ(texts.back(), c.box);
        } else {
            EXPECT_EQ(texts.size(), boxesBefore);
        }
        EXPECT_FALSE(VisDriverRunning());
    }
    // A negative index or no file: nothing starts.
    EXPECT_EQ(StartVisDriver(QUILLET_VIS_PROBE, -1, nullptr, attrs, plmPlaying, false, false), 0u);
    EXPECT_EQ(StartVisDriver("", 0, nullptr, attrs, plmPlaying, false, false), 0u);
}

TEST_F(VisDriver, AModuleTableWithoutItsNullIsReadUpToEightModules) {
    Probe::configure("unterminated=1");
    ASSERT_NE(StartVisDriver(QUILLET_VIS_PROBE, 8, nullptr, attrs, plmPlaying, false, false), 0u);
    ASSERT_TRUE(engine->waitFor(kVisEnded, 8000));
    EXPECT_EQ(Probe::count("getModule"), 8);
    EXPECT_FALSE(started().withRecord);
}

TEST_F(VisDriver, ARenderThatAsksToEndQuitsTheModuleOnceAndKeepsItsWindow) {
    ASSERT_TRUE(start("render_result=1,keep_window=1"));
    feed(2, 2);
    ASSERT_TRUE(pumpUntil([] { return Probe::count("quit 0") == 1; }, 3000));
    feed(2, 2);
    pumpFor(300);
    EXPECT_EQ(Probe::renders(), 1);
    EXPECT_EQ(Probe::count("quit 0"), 1);
    EXPECT_TRUE(IsWindow(Probe::window()));
    EXPECT_TRUE(VisDriverRunning());
    QuitVisDriver();
    EXPECT_EQ(Probe::count("quit 0"), 1);  // not again at the end
    EXPECT_EQ(engine->count(kVisEnded), 1);

    // A plug-in that closes its window when it quits ends the driver with it.
    engine->notices.clear();
    ASSERT_TRUE(start("render_result=1"));
    feed(2, 2);
    EXPECT_TRUE(engine->waitFor(kVisEnded, 3000));
    EXPECT_FALSE(VisDriverRunning());
}

TEST_F(VisDriver, AHungRenderIsGivenUpWithoutFreezingTheCaller) {
    ASSERT_TRUE(start("hang_ms=2500"));
    feed(2, 2);
    const auto fed = std::chrono::steady_clock::now();
    // The caller keeps pumping all along; the end is reported a little after a second.
    ASSERT_TRUE(engine->waitFor(kVisEnded, 2400));
    EXPECT_GE(std::chrono::steady_clock::now() - fed,
              std::chrono::milliseconds(quillet::plugins::kRenderHangMs));
    EXPECT_FALSE(VisDriverRunning());
    EXPECT_EQ(Probe::count("woke"), 0);
    const auto quitAt = std::chrono::steady_clock::now();
    QuitVisDriver();  // nothing left to wait for
    EXPECT_LT(std::chrono::steady_clock::now() - quitAt, std::chrono::milliseconds(500));
    EXPECT_EQ(engine->count(kVisEnded), 1);
    // The owner window answers with its own procedure again.
    const int before = OwnerWindow::ownMessages;
    ipc(IPC_GETVERSION);
    EXPECT_EQ(OwnerWindow::ownMessages, before + 1);
    // Once the plug-in came back, a new start works.
    ASSERT_TRUE(pumpUntil([] { return Probe::count("woke") == 1; }, 4000));
    engine->notices.clear();
    ASSERT_TRUE(start(""));
    QuitVisDriver();
}

TEST_F(VisDriver, AWindowDestroyedBehindTheDriversBackEndsIt) {
    ASSERT_TRUE(start(""));
    const HWND window = Probe::window();
    // Closing it as the desktop would (the plug-in's own procedure destroys it).
    PostMessage(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(engine->waitFor(kVisEnded, 3000));
    EXPECT_EQ(engine->count(kVisWindowInactive), 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(pumpUntil([] { return !VisDriverRunning(); }, 2000));
    EXPECT_EQ(Probe::count("quit 0"), 1);  // the module is still quit
}

TEST_F(VisDriver, AWithdrawnWindowIsNotFedUntilItIsAnnouncedAgain) {
    ASSERT_TRUE(start(""));
    Probe::announce(owner.hwnd(), false);
    EXPECT_TRUE(engine->waitFor(kVisWindowInactive, 1000));
    feed(2, 2);
    pumpFor(300);
    EXPECT_EQ(Probe::renders(), 0);
    Probe::announce(owner.hwnd(), true);
    ASSERT_TRUE(engine->waitFor(kVisStarted, 3000, 2));
    const Notice& again = engine->notices.back();
    EXPECT_TRUE(again.withRecord);
    EXPECT_FALSE(again.info.FirstStart);
    feed(2, 2);
    EXPECT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));
}

TEST_F(VisDriver, AnUnannouncedWindowIsFoundBySearching) {
    ASSERT_TRUE(start("window=2"));
    EXPECT_EQ(started().info.VisWindow, Probe::window());
}

TEST_F(VisDriver, TheOwnerWindowAnswersForThePlayerWhileAPluginRuns) {
    ASSERT_TRUE(start("", 0, plmPaused));
    feed(2, 2, 4321);
    ASSERT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));
    EXPECT_EQ(ipc(IPC_GETVERSION), 0x5010);
    EXPECT_EQ(ipc(IPC_ISPLAYING), 3);
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME), 4321);  // paused: still the position
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME, 1), 61);
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME, 2), 0);
    EXPECT_EQ(ipc(IPC_GETINFO, 0), 44100);
    EXPECT_EQ(ipc(IPC_GETINFO, 1), 128);
    EXPECT_EQ(ipc(IPC_GETINFO, 2), 2);
    EXPECT_EQ(ipc(IPC_GETLISTPOS), -1);
    EXPECT_EQ(ipc(12345), 0);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(ipc(IPC_GET_PLAYING_FILENAME))),
              L"/music/song.mp3");
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(ipc(IPC_GET_PLAYING_TITLE))), L"Song");

    // The mode follows the block on code 81.
    {
        std::lock_guard lock(block->lock);
        block->mode = plmStopped;
    }
    PostThreadMessage(thread, message, kVisModeChanged, 4);
    EXPECT_TRUE(pumpUntil([&] { return ipc(IPC_ISPLAYING) == 0; }, 2000));
    EXPECT_EQ(ipc(IPC_GETOUTPUTTIME), -1);

    // Window text: the playlist position 0, the title, " - Winamp"; cut to the buffer.
    char text[64];
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 16);
    EXPECT_STREQ(text, "0. Song - Winamp");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'x');
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_GETTEXT, 0, reinterpret_cast<LPARAM>(text)), 0);
    EXPECT_EQ(text[0], 'x');
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_GETTEXTLENGTH, 0, 0), 11);

    // A file to play: at most the data's size, no NUL needed.
    const char name[] = "abcdef";
    COPYDATASTRUCT data{IPC_PLAYFILE, 3, const_cast<char*>(name)};
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 1);
    ASSERT_EQ(engine->count(kVisPlayFile), 1);
    EXPECT_EQ(engine->notices.back().text, "abc");
    data.cbData = 0;
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0);
    EXPECT_EQ(engine->count(kVisPlayFile), 1);
    const int own = OwnerWindow::ownMessages;
    data.dwData = 7;
    SendMessage(owner.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(OwnerWindow::ownMessages, own + 1);

    // Commands become requests to the engine (stopped: play is allowed, pause is not).
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_COMMAND, WINAMP_BUTTON2, 0), 1);
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_COMMAND, WINAMP_BUTTON3, 0), 0);
    EXPECT_EQ(SendMessage(owner.hwnd(), WM_COMMAND, WINAMP_VOLUMEDOWN, 0), 0);
    SendMessage(owner.hwnd(), WM_COMMAND, 999, 0);
    EXPECT_EQ(OwnerWindow::ownMessages, own + 2);
    pumpFor(50);
    EXPECT_EQ(engine->requests, (std::vector<WPARAM>{6, 1}));
    // Clearing the playlist.
    EXPECT_EQ(ipc(IPC_DELETE), 0);
    pumpFor(50);
    EXPECT_EQ(engine->count(kVisUpdatePlayList), 1);
}

// ---------------------------------------------------------------------------
// The frame a plug-in asks for (IPC_GET_EMBEDIF)

struct FrameCase {
    const char* what;
    std::string options;
    RECT expected;       // the frame's outer rectangle; the owner is at (100, 600)
    bool storedInState;  // the frame went into the state (else the state named a window)
};

RECT rectOf(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

std::vector<LONG> corners(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

class VisFrame : public VisDriver {
  protected:
    void SetUp() override {
        VisDriver::SetUp();
        // Low enough that a frame above it fits on a 1280 x 1024 screen.
        MoveWindow(owner.hwnd(), 100, 600, 200, 20, TRUE);
    }
    // Starts the probe asking for a frame; the frame as the driver reported it.
    HWND startFramed(const std::string& options) {
        if (!start(options)) return nullptr;
        return static_cast<HWND>(started().info.VisWindow);
    }
};

TEST_F(VisFrame, APlugInAskingForAFrameGetsTheDriversFrameInModeThree) {
    const FrameCase cases[] = {
        {"sized, by calling the function", "embed=1,embed_w=400,embed_h=300", {100, 266, 508, 591}, true},
        {"sized, through the main window", "embed=3,embed_w=400,embed_h=300", {100, 266, 508, 591}, true},
        {"naming its window", "embed=2,embed_w=400,embed_h=300", {100, 266, 508, 591}, false},
        {"without a size", "embed=1", {100, 326, 420, 565}, true},
        {"without a state", "embed=4", {100, 326, 420, 565}, false},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.what);
        engine->notices.clear();
        const HWND frame = startFramed(c.options);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame, Probe::frame());
        EXPECT_EQ(started().info.WindowMode, 3u);
        EXPECT_EQ(Probe::count(c.storedInState ? "embed frame=1 stored=1" : "embed frame=1 stored=0"), 1);
        char text[64] = {};
        GetClassName(frame, text, sizeof text);
        EXPECT_STREQ(text, "Winamp Gen");
        GetWindowText(frame, text, sizeof text);
        EXPECT_STREQ(text, "Embed target");
        EXPECT_EQ(GetWindowLong(frame, GWL_STYLE) & ~WS_VISIBLE, LONG(0x82CF0000));
        EXPECT_EQ(GetWindowLong(frame, GWL_EXSTYLE), 0x180);
        EXPECT_EQ(GetParent(frame), owner.hwnd()) << "owned by the main window";
        EXPECT_TRUE(IsWindowVisible(frame));
        EXPECT_EQ(corners(rectOf(frame)), corners(c.expected));
        // The plug-in's window is inside, over the whole client area.
        const HWND child = Probe::window();
        EXPECT_EQ(GetParent(child), frame);
        RECT client{};
        GetClientRect(frame, &client);
        EXPECT_EQ(corners(rectOf(child)), corners(client));
        // The frame is what the plug-in draws in: it is fed.
        feed(2, 2);
        EXPECT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));

        QuitVisDriver();
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_FALSE(IsWindow(child));
        EXPECT_EQ(engine->count(kVisEnded), 1);
        EXPECT_EQ(engine->count(kVisWindowInactive), 0);
    }
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(VisFrame, TheFrameHoldsItsPlaceForTheNextTwoMovesAfterItIsShown) {
    const HWND frame = startFramed("embed=1,embed_w=400,embed_h=300");
    ASSERT_NE(frame, nullptr);
    const RECT placed = rectOf(frame);
    for (int move = 1; move <= 2; ++move) {
        EXPECT_TRUE(MoveWindow(frame, 10, 20, 150, 100, TRUE));
        EXPECT_EQ(corners(rectOf(frame)), corners(placed)) << "move " << move;
    }
    EXPECT_TRUE(MoveWindow(frame, 10, 20, 150, 100, TRUE));
    EXPECT_EQ(corners(rectOf(frame)), (std::vector<LONG>{10, 20, 160, 120}));
    RECT client{};
    GetClientRect(frame, &client);
    EXPECT_EQ(corners(rectOf(Probe::window())), corners(client)) << "the plug-in's window is fitted again";
}

TEST_F(VisFrame, ClosingOrDestroyingTheFrameEndsTheRun) {
    struct Case {
        const char* what;
        UINT msg;
        WPARAM wParam;
    };
    for (const Case& c :
         {Case{"closed from its system menu", WM_SYSCOMMAND, SC_CLOSE}, Case{"destroyed", WM_CLOSE, 0}}) {
        SCOPED_TRACE(c.what);
        engine->notices.clear();
        const HWND frame = startFramed("embed=1");
        ASSERT_NE(frame, nullptr);
        const HWND child = Probe::window();
        PostMessage(frame, c.msg, c.wParam, 0);
        EXPECT_TRUE(engine->waitFor(kVisEnded, 3000));
        EXPECT_TRUE(pumpUntil([] { return !VisDriverRunning(); }, 3000));
        EXPECT_EQ(engine->count(kVisWindowInactive), 1);
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_FALSE(IsWindow(child));
        EXPECT_EQ(Probe::count("quit 0"), 1);
    }
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(VisFrame, AWithdrawnWindowAnnouncedAgainGetsTheFrameShownAndFedAgain) {
    const HWND frame = startFramed("embed=1");
    ASSERT_NE(frame, nullptr);
    Probe::announce(owner.hwnd(), false);
    EXPECT_TRUE(engine->waitFor(kVisWindowInactive, 1000));
    ShowWindow(frame, SW_HIDE);
    feed(2, 2);
    pumpFor(300);
    EXPECT_EQ(Probe::renders(), 0);
    Probe::announce(owner.hwnd(), true);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(frame) != FALSE; }, 3000));
    EXPECT_EQ(started().info.VisWindow, frame) << "the frame stays the vis window";
    feed(2, 2);
    EXPECT_TRUE(pumpUntil([] { return Probe::renders() == 1; }, 3000));
}

}  // namespace
