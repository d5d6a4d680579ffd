// End to end on a real X server and a real sound server: a double click on the
// spectrum panel while a tone plays starts the visualisation plug-in of the
// program folder; its window comes up beside the strip and draws what plays.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "AppOnDisplay.h"
#include "engine/VisDataThread.h"
#include "plugins/VisDriver.h"
#include "plugins/WinampVis.h"
#include "tests/common/SinkRecording.h"
#include "tests/engine/EngineTest.h"

namespace {

using quillet::test::settle;
using quillet::test::waitFor;

class AppVis : public apptest::AppOnDisplay {
  protected:
    int device() const override { return TVAVIVerovu::kDefaultDevice; }

    void SetUp() override {
        ASSERT_TRUE(std::getenv("XDG_RUNTIME_DIR") || std::getenv("PULSE_SERVER"))
            << "no sound server (start scripts/services.sh)";
        sink = std::make_unique<soundtest::PrivateSink>();
        ASSERT_TRUE(sink->loaded());
        setenv("PULSE_SINK", sink->name().c_str(), 1);
        AppOnDisplay::SetUp();
    }
    void TearDown() override {
        AppOnDisplay::TearDown();
        sink.reset();
    }

    // The plug-in's X window (WM_CLASS "QuilletVis"), none when it has none.
    xcb_window_t visWindow() {
        quillet::desktop::OwnWindows none;
        none.pid = 1;  // leave out no window of ours
        const auto found = quillet::desktop::FindTopLevelByClass(*x, "QuilletVis", none);
        for (xcb_window_t w : found)
            if (x->viewable(w)) return w;
        return XCB_NONE;
    }
    std::vector<uint8_t> capture(xcb_window_t w) {
        const auto r = x->rectOnScreen(w);
        if (!r) return {};
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            x->get(),
            xcb_get_image(x->get(), XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, uint16_t(r->right - r->left),
                          uint16_t(r->bottom - r->top), ~0u),
            nullptr);
        if (!reply) return {};
        const uint8_t* data = xcb_get_image_data(reply);
        std::vector<uint8_t> pixels(data, data + xcb_get_image_data_length(reply));
        // xcb's reply.
        free(reply);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
        return pixels;
    }
    bool doubleClick(const QWidget* w) {
        const QPoint p = centreOf(w);
        return xdotool({"mousemove", QString::number(p.x()), QString::number(p.y()), "sleep", "0.1", "click",
                        "--repeat", "2", "--delay", "80", "1"});
    }
    LRESULT ipc(LPARAM code) { return SendMessage(app->Form().Handle, WM_WA_IPC, 0, code); }
    // The strongest bin of the first spectrum channel the plug-in was given.
    int spectrumPeak() {
        const VisDataBlock& b = app->Player()->VisDataThread()->Block();
        return int(std::max_element(b.data, b.data + kVisChannelBytes) - b.data);
    }
    static double cpuSeconds() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }

    std::unique_ptr<soundtest::PrivateSink> sink;
};

TEST_F(AppVis, ThePanelStartsThePluginWhichDrawsFollowsPausesAndEnds) {
    start();
    TFMain& f = app->Form();
    TVAVIVerovu& player = *app->Player();
    answerOpen(enginetest::writeSineWav("tone.wav", 30, 2, 1000.0, 0.5));
    ASSERT_TRUE(click(f.btnOpen));
    ASSERT_TRUE(waitMode(plmPlaying));

    ASSERT_TRUE(doubleClick(f.pVis));
    ASSERT_TRUE(waitFor([&] { return visWindow() != XCB_NONE && player.VisActive(); }, 8000));
    const xcb_window_t vis = visWindow();
    // Beside the strip, wholly inside the work area.
    const RECT mini = miniOnScreen();
    const RECT r = x->rectOnScreen(vis).value_or(RECT{});
    const RECT work = x->workArea();
    EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom);
    const bool besideX =
        (r.left == mini.right || r.right == mini.left) && r.top < mini.bottom && r.bottom > mini.top;
    const bool besideY =
        (r.bottom == mini.top || r.top == mini.bottom) && r.left < mini.right && r.right > mini.left;
    EXPECT_TRUE(besideX || besideY) << r.left << "," << r.top << " " << r.right << "," << r.bottom << " mini "
                                    << mini.left << "," << mini.top << " " << mini.right << ","
                                    << mini.bottom;

    // It draws what plays: a picture with something on it, and another one once the
    // tone is quieter; its spectrum shows the tone in bin 46 (1000 Hz in bins of
    // 44100 / 2048 Hz; byte i is bin i + 1).
    settle(1500);
    const auto loud = capture(vis);
    ASSERT_FALSE(loud.empty());
    EXPECT_NE(std::count(loud.begin(), loud.end(), loud[0]), std::ssize(loud));
    const int peak = spectrumPeak();
    EXPECT_GE(peak, 44);
    EXPECT_LE(peak, 47);
    player.SetVolume(40);
    settle(1500);
    EXPECT_NE(capture(vis), loud);
    player.SetVolume(255);
    EXPECT_EQ(ipc(IPC_ISPLAYING), 1);

    // The cost of playing with the plug-in drawing, for the record.
    const double cpu0 = cpuSeconds();
    settle(5000);
    std::printf("CPU while playing with the plug-in: %.1f%% of one core\n",
                (cpuSeconds() - cpu0) / 5.0 * 100.0);

    // Paused: the plug-in hears it (code 81) and no more data come.
    ASSERT_TRUE(click(f.btnPause));
    ASSERT_TRUE(waitMode(plmPaused));
    EXPECT_TRUE(waitFor([&] { return ipc(IPC_ISPLAYING) == 3; }, 2000));
    EXPECT_TRUE(player.VisDataThread()->Suspended());
    ASSERT_TRUE(click(f.btnPlay));
    ASSERT_TRUE(waitMode(plmPlaying));

    // Closed by someone else: the driver ends (code 70), the panel's spectrum is back.
    ASSERT_TRUE(xdotool({"windowclose", QString::number(vis)}));
    ASSERT_TRUE(waitFor([&] { return !player.VisActive() && !quillet::plugins::VisDriverRunning(); }, 5000));
    EXPECT_EQ(ipc(IPC_GETVERSION), 0);  // the main window's own procedure again
    EXPECT_TRUE(waitFor(
        [&] {
            const TBandOut& bands = player.BandOut();
            return std::any_of(bands.begin(), bands.end(), [](uint16_t v) { return v > 0; });
        },
        3000));

    // Started again, it comes back; the program then closes with it running.
    ASSERT_TRUE(doubleClick(f.pVis));
    ASSERT_TRUE(waitFor([&] { return visWindow() != XCB_NONE && player.VisActive(); }, 8000));
    app->FormClose();
    app.reset();
    EXPECT_FALSE(quillet::plugins::VisDriverRunning());
    EXPECT_TRUE(waitFor([&] { return visWindow() == XCB_NONE; }, 3000));
}

}  // namespace
