// Our visualisation plug-in run by the player's driver, as the player runs it: the
// driver finds and places its window, feeds it from the shared block, and ends the
// run when the user closes the window or another client destroys it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/win/MessageBox.h"
#include "plugins/VisDriver.h"
#include "plugins/WinampVis.h"
#include "plugins/visual/VisDraw.h"
#include "tests/vis/VisTest.h"

namespace {

using namespace vistest;

std::string pluginPath() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
    return path.substr(0, path.rfind('/')) + "/Plugin/vis_milk105beta6.1.dll";
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-owning-memory): xcb's malloc
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

class OwnPluginUnderDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X server (Xvfb)";
        m_conn = xcb_connect(nullptr, nullptr);
        ASSERT_EQ(xcb_connection_has_error(m_conn), 0);
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        block = std::make_unique<VisDataBlock>();
        engine = std::make_unique<EngineWindow>(message);
        SetVisDriverContext(owner.hwnd(), engine->hwnd(), message, nullptr, &block->lock, 0, block.get());
        attrs.SampleRate = 44100;
        attrs.Channels = 2;
    }
    void TearDown() override {
        if (quillet::plugins::VisDriverRunning()) QuitVisDriver();
        SetVisDriverContext(nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr);
        quillet::win::setMessageBoxPresenter(nullptr);
        if (m_conn != nullptr) xcb_disconnect(m_conn);
    }

    // Starts module `index`; the plug-in's window as the driver reported it.
    HWND start(int index) {
        engine->notices.clear();
        thread = StartVisDriver(pluginPath(), index, nullptr, attrs, plmPlaying, false, false);
        if (!thread || !engine->waitFor(kVisStarted, 8000)) return nullptr;
        for (const Notice& n : engine->notices)
            if (n.code == kVisStarted && n.withRecord) return static_cast<HWND>(n.info.VisWindow);
        return nullptr;
    }

    // One frame as the data thread leaves it: a full-scale bin in the first
    // spectrum channel, silence elsewhere.
    void feed(int bin) {
        std::memset(block->data, 0, sizeof block->data);
        block->data[bin] = 255;
        block->dataSampleRate = 44100;
        block->dataChannels = 2;
        block->dataReady.store(1, std::memory_order_release);
        PostThreadMessage(thread, message, kVisNewData, 0);
    }

    xcb_window_t xWindowOf(HWND standIn) const {
        return static_cast<xcb_window_t>(GetWindowLongPtr(standIn, GWLP_USERDATA));
    }

    // Columns of the window's upper half with a bright pixel: [first, last].
    std::pair<int, int> litColumns(xcb_window_t window, int& width) {
        Reply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr));
        if (!g) return {1, 0};
        width = g->width;
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            m_conn,
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, g->width, g->height / 2, ~0u),
            nullptr));
        if (!image) return {1, 0};
        const auto* px = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image.get()));
        int first = g->width, last = -1;
        for (int y = 0; y < g->height / 2; ++y) {
            for (int x = 0; x < g->width; ++x) {
                const std::uint32_t p = px[y * g->width + x];
                if (((p >> 8) & 0xff) > 0x60 || ((p >> 16) & 0xff) > 0x60) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        return {first, last};
    }

    void sendClose(xcb_window_t window) {
        auto atom = [&](const char* name) {
            Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
                m_conn, xcb_intern_atom(m_conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                nullptr));
            return r ? r->atom : 0;
        };
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        xcb_send_event(m_conn, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_conn);
    }

    xcb_connection_t* m_conn = nullptr;
    const UINT message = RegisterWindowMessage("WM_BASSSendingData");
    OwnerWindow owner;
    std::unique_ptr<VisDataBlock> block;
    std::unique_ptr<EngineWindow> engine;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    TChannelAttrb attrs;
    DWORD thread = 0;
};

TEST_F(OwnPluginUnderDriver, TheAnalyserShowsAToneWhereItsFrequencyLies) {
    HWND window = start(0);
    ASSERT_NE(window, nullptr);
    char className[64] = {};
    GetClassName(window, className, sizeof className);
    EXPECT_STREQ(className, "QuilletVisWindow");
    const xcb_window_t x = xWindowOf(window);
    ASSERT_NE(x, 0u);

    // Buffer index 45 holds the bin at 46 × 44100 / 2048 ≈ 990 Hz.
    const int bin = 45;
    const double hz = (bin + 1) * 44100.0 / 2048;
    int width = 0;
    std::pair<int, int> lit{1, 0};
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (block->dataReady.load() == 0) feed(bin);
            lit = litColumns(x, width);
            return lit.first <= lit.second;
        },
        5000));
    const double expected = width * std::log(hz / quillet::vis::kLowHz) /
                            std::log(quillet::vis::bandsTopHz(44100) / quillet::vis::kLowHz);
    const int pitch = width / quillet::vis::barCount(width);
    EXPECT_GE(lit.first, expected - pitch - 1);
    EXPECT_LE(lit.second, expected + pitch + 1);
    EXPECT_TRUE(boxes->boxes().empty());

    QuitVisDriver();
    EXPECT_EQ(engine->count(kVisEnded), 1);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(OwnPluginUnderDriver, ClosingOrDestroyingTheWindowEndsTheRun) {
    struct Case {
        const char* what;
        bool feeding;  // frames keep coming (playing) or not (paused)
        bool destroy;  // another client destroys the window instead of a close
    };
    const Case cases[] = {
        {"close while playing", true, false},
        {"close while paused", false, false},
        {"destroyed by another client", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND window = start(1);
        ASSERT_NE(window, nullptr);
        const xcb_window_t x = xWindowOf(window);
        if (c.destroy)
            xcb_destroy_window(m_conn, x);
        else
            sendClose(x);
        xcb_flush(m_conn);
        EXPECT_TRUE(pumpUntil(
            [&] {
                if (c.feeding && block->dataReady.load() == 0) feed(10);
                return engine->count(kVisEnded) == 1;
            },
            5000));
        EXPECT_TRUE(pumpUntil([] { return !quillet::plugins::VisDriverRunning(); }, 5000));
        EXPECT_FALSE(IsWindow(window));
        EXPECT_TRUE(boxes->boxes().empty());
    }
}

}  // namespace
