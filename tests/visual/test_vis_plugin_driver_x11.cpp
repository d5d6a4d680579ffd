// Our visualisation plug-in run by the player's driver, as the player runs it: the
// driver finds and places its window, feeds it from the shared block, and ends the
// run when the user closes the window or another client destroys it. And the frame
// the driver makes for a plug-in that asks for one (the recording plug-in), as X11
// sees it.
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

// ---------------------------------------------------------------------------
// The driver's frame

class FrameUnderDriver : public OwnPluginUnderDriver {
  protected:
    // Starts the recording plug-in asking for a frame; the frame as the driver reported it.
    HWND startFramed(const std::string& options) {
        engine->notices.clear();
        Probe::configure(options);
        thread = StartVisDriver(QUILLET_VIS_PROBE, 0, nullptr, attrs, plmPlaying, false, false);
        if (!thread || !engine->waitFor(kVisStarted, 8000)) return nullptr;
        for (const Notice& n : engine->notices)
            if (n.code == kVisStarted && n.withRecord && n.info.WindowMode == 3)
                return static_cast<HWND>(n.info.VisWindow);
        return nullptr;
    }
    void withoutOwner() {
        SetVisDriverContext(nullptr, engine->hwnd(), message, nullptr, &block->lock, 0, block.get());
        Probe::setEmbedFunction(quillet::plugins::VisEmbedFunction());
    }
    // x, y, width, height of an X window relative to its parent.
    std::vector<int> geometry(xcb_window_t w) const {
        Reply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, w), nullptr));
        if (!g) return {};
        return {g->x, g->y, g->width, g->height};
    }
    xcb_window_t parentOf(xcb_window_t w) const {
        Reply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, w), nullptr));
        return t ? t->parent : xcb_window_t{XCB_NONE};
    }
    std::string wmName(xcb_window_t w) const {
        Reply<xcb_get_property_reply_t> p(xcb_get_property_reply(
            m_conn, xcb_get_property(m_conn, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256), nullptr));
        if (!p) return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(p.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(p.get())));
    }
    bool viewable(xcb_window_t w) const {
        Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, w), nullptr));
        return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    // A window of this test's own that stands for the plug-in's drawing window.
    xcb_window_t makeDrawingWindow() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        const xcb_window_t w = xcb_generate_id(m_conn);
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        Reply<xcb_get_input_focus_reply_t> sync(
            xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
        return w;
    }
    void TearDown() override {
        Probe::setEmbedFunction(nullptr);
        OwnPluginUnderDriver::TearDown();
    }
};

TEST_F(FrameUnderDriver, TheFrameIsAnX11WindowPlacedByTheOwnerOrCentred) {
    struct Case {
        const char* what;
        bool owner;
        std::string options;
        std::vector<int> expected;  // x, y, width, height on the 1280 x 1024 screen
    };
    const Case cases[] = {
        {"no owner, no state: centred for 320 x 240", false, "embed=4", {480, 392, 320, 239}},
        {"no owner, a state asking 400 x 300",
         false,
         "embed=1,embed_w=400,embed_h=300",
         {440, 362, 408, 325}},
        // Above an owner at (100, 100) is off the screen: moved down onto it.
        {"with an owner", true, "embed=1", {100, 0, 320, 239}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.owner) withoutOwner();
        const HWND frame = startFramed(c.options);
        ASSERT_NE(frame, nullptr);
        const auto x = static_cast<xcb_window_t>(GetWindowLongPtr(frame, GWLP_USERDATA));
        ASSERT_NE(x, 0u);
        EXPECT_EQ(geometry(x), c.expected);
        EXPECT_EQ(wmName(x), "Embed target");
        EXPECT_TRUE(viewable(x));
        RECT r{};
        GetWindowRect(frame, &r);
        EXPECT_EQ((std::vector<int>{int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)}),
                  c.expected)
            << "the layer sees the X window";
        QuitVisDriver();
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_EQ(geometry(x), std::vector<int>{}) << "the X window is gone";
        SetVisDriverContext(owner.hwnd(), engine->hwnd(), message, nullptr, &block->lock, 0, block.get());
    }
}

TEST_F(FrameUnderDriver, ThePlugInsWindowIsPutIntoTheFrameAndFitted) {
    for (const char* how : {"embed=2", "embed=1"}) {  // named in the state, or made inside the frame
        SCOPED_TRACE(how);
        const xcb_window_t drawing = makeDrawingWindow();
        const HWND frame =
            startFramed(std::string(how) + ",embed_w=400,embed_h=300,xwindow=" + std::to_string(drawing));
        ASSERT_NE(frame, nullptr);
        const auto x = static_cast<xcb_window_t>(GetWindowLongPtr(frame, GWLP_USERDATA));
        EXPECT_EQ(parentOf(drawing), x);
        EXPECT_EQ(GetParent(Probe::window()), frame);
        // Its stand-in is fitted to the client area: the whole frame without a window manager.
        RECT child{};
        GetWindowRect(Probe::window(), &child);
        EXPECT_EQ((std::vector<LONG>{child.left, child.top, child.right, child.bottom}),
                  (std::vector<LONG>{0, 0, 408, 325}));
        QuitVisDriver();
        xcb_destroy_window(m_conn, drawing);
        xcb_flush(m_conn);
    }
}

TEST_F(FrameUnderDriver, AUserMoveEndsTheHoldOnTheFrame) {
    const HWND frame = startFramed("embed=1");
    ASSERT_NE(frame, nullptr);
    const auto x = static_cast<xcb_window_t>(GetWindowLongPtr(frame, GWLP_USERDATA));
    const std::vector<int> placed = geometry(x);
    EXPECT_TRUE(MoveWindow(frame, 10, 20, 150, 100, TRUE));
    EXPECT_EQ(geometry(x), placed) << "held";
    // The user moves and resizes it (as a window manager would, on its behalf).
    const std::uint32_t values[] = {200, 210, 300, 200};
    xcb_configure_window(
        m_conn, x,
        XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
        values);
    xcb_flush(m_conn);
    // The driver notices, and fits the plug-in's window to the new size.
    EXPECT_TRUE(pumpUntil(
        [&] {
            RECT r{};
            GetWindowRect(Probe::window(), &r);
            return r.right == 300 && r.bottom == 200;
        },
        3000));
    EXPECT_TRUE(MoveWindow(frame, 10, 20, 150, 100, TRUE));
    EXPECT_EQ(geometry(x), (std::vector<int>{10, 20, 150, 100})) << "no longer held";
}

TEST_F(FrameUnderDriver, ClosingOrDestroyingTheFrameEndsTheRun) {
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed by another client" : "closed through the window manager");
        const HWND frame = startFramed("embed=1");
        ASSERT_NE(frame, nullptr);
        const auto x = static_cast<xcb_window_t>(GetWindowLongPtr(frame, GWLP_USERDATA));
        if (destroy)
            xcb_destroy_window(m_conn, x);
        else
            sendClose(x);
        xcb_flush(m_conn);
        EXPECT_TRUE(engine->waitFor(kVisEnded, 5000));
        EXPECT_TRUE(pumpUntil([] { return !quillet::plugins::VisDriverRunning(); }, 5000));
        EXPECT_EQ(engine->count(kVisWindowInactive), 1);
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_EQ(geometry(x), std::vector<int>{});
        EXPECT_TRUE(boxes->boxes().empty());
    }
}

}  // namespace
