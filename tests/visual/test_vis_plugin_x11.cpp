// The visualisation plug-in library as the player loads it: dlopen, the header,
// Init, Render and Quit on this thread, under a real X server. The pictures are
// read back from the server and checked: the bars of a tone sit where its
// frequency lies on the log axis, the traces follow the waveform, and closing or
// destroying the window ends the module without a crash.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/WinApi.h"
#include "plugins/WinampVis.h"
#include "plugins/visual/VisDraw.h"
#include "plugins/visual/VisWindow.h"

namespace {

using namespace std::chrono_literals;

std::string libraryPath() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
    return dir.substr(0, dir.rfind('/')) + "/Plugin/vis_milk105beta6.1.dll";
}

int threadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-owning-memory): xcb's malloc
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// The main window the module is given: records the window it announces. The
// window procedure has no other place to keep it.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
HWND g_announced = nullptr;
int g_announcements = 0;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

LRESULT mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_WA_IPC && lParam == IPC_SETVISWND) {
        g_announced = reinterpret_cast<HWND>(wParam);
        ++g_announcements;
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

bool isLit(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xff) > 0x60 || ((pixel >> 8) & 0xff) > 0x60 || (pixel & 0xff) > 0x60;
}

class VisPlugin : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X server (Xvfb)";
        m_conn = xcb_connect(nullptr, nullptr);
        ASSERT_EQ(xcb_connection_has_error(m_conn), 0);
        m_library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        auto getHeader = reinterpret_cast<winampVisGetHeaderType>(dlsym(m_library, "winampVisGetHeader"));
        ASSERT_NE(getHeader, nullptr);
        m_header = getHeader();
        ASSERT_NE(m_header, nullptr);
        WNDCLASS wc{};
        wc.lpfnWndProc = mainProc;
        wc.lpszClassName = "VisTestMain";
        RegisterClass(&wc);
        m_main = CreateWindowEx(0, "VisTestMain", "main", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(m_main, nullptr);
        g_announced = nullptr;
        g_announcements = 0;
    }

    void TearDown() override {
        if (m_running != nullptr) m_running->Quit(m_running);
        if (m_main != nullptr) DestroyWindow(m_main);
        UnregisterClass("VisTestMain", nullptr);
        if (m_library != nullptr) dlclose(m_library);
        if (m_conn != nullptr) xcb_disconnect(m_conn);
    }

    // Module `index` initialised as the driver does it; fails the test otherwise.
    winampVisModule* start(int index) {
        winampVisModule* module = m_header->getModule(index);
        if (module == nullptr) return nullptr;
        module->hwndParent = m_main;
        module->hDllInstance = m_library;
        module->sRate = 44100;
        module->nCh = 2;
        std::memset(module->spectrumData, 0, sizeof module->spectrumData);
        std::memset(module->waveformData, 0, sizeof module->waveformData);
        if (module->Init(module) != 0) return nullptr;
        m_running = module;
        return module;
    }

    void quit() {
        m_running->Quit(m_running);
        m_running = nullptr;
    }

    xcb_window_t xWindow() const {
        return static_cast<xcb_window_t>(GetWindowLongPtr(g_announced, GWLP_USERDATA));
    }

    // The window's pixels, row after row, and its size.
    std::vector<std::uint32_t> grab(int& width, int& height) {
        const auto geometry = geometryOf(xWindow());
        width = geometry[2];
        height = geometry[3];
        if (width < 0) return {};
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            m_conn,
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, xWindow(), 0, 0,
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u),
            nullptr));
        if (!image) return {};
        const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image.get()));
        return {data, data + static_cast<std::size_t>(width) * static_cast<std::size_t>(height)};
    }

    // The window's pixels once `shown(pixels)` holds: what the plug-in's connection
    // sent reaches the server in its own time, after this connection's requests
    // perhaps. The last grab when two seconds pass first.
    template <class Shown>
    std::vector<std::uint32_t> grabWhen(int& width, int& height, Shown shown) {
        for (auto end = std::chrono::steady_clock::now() + 2s;; std::this_thread::sleep_for(10ms)) {
            auto pixels = grab(width, height);
            const bool complete =
                pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
            if ((complete && shown(pixels)) || std::chrono::steady_clock::now() >= end) return pixels;
        }
    }

    // Renders until the answer is `want` or two seconds passed; the last answer.
    int renderUntil(winampVisModule* module, int want) {
        int result = -1;
        for (auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
            result = module->Render(module);
            if (result == want) break;
            std::this_thread::sleep_for(10ms);
        }
        return result;
    }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_conn, xcb_intern_atom(m_conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : 0;
    }

    // What a window manager sends when the user closes the window.
    void sendClose() {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = xWindow();
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        xcb_send_event(m_conn, 0, xWindow(), XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_conn);
    }

    // x, y, width and height of a window; all -1 when it does not exist.
    std::array<int, 4> geometryOf(xcb_window_t window) {
        Reply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr));
        if (!g) return {-1, -1, -1, -1};
        return {g->x, g->y, g->width, g->height};
    }
    bool xWindowExists(xcb_window_t window) { return geometryOf(window)[2] >= 0; }

    xcb_connection_t* m_conn = nullptr;
    void* m_library = nullptr;
    winampVisHeader* m_header = nullptr;
    HWND m_main = nullptr;
    winampVisModule* m_running = nullptr;
};

TEST_F(VisPlugin, HeaderListsTwoModulesAtThirtyFramesOrMore) {
    EXPECT_EQ(m_header->version, VIS_HDRVER);
    EXPECT_EQ(m_header->getModule(-1), nullptr);
    EXPECT_EQ(m_header->getModule(2), nullptr);
    struct Wants {
        int spectrum, waveform;
    };
    const Wants wants[] = {{2, 0}, {0, 2}};
    for (int i = 0; i < 2; ++i) {
        winampVisModule* module = m_header->getModule(i);
        ASSERT_NE(module, nullptr);
        EXPECT_NE(module->description, nullptr);
        EXPECT_GE(module->delayMs, 10);
        EXPECT_LE(module->delayMs, 33);
        EXPECT_EQ(module->spectrumNch, wants[i].spectrum);
        EXPECT_EQ(module->waveformNch, wants[i].waveform);
        EXPECT_NE(module->Init, nullptr);
        EXPECT_NE(module->Render, nullptr);
        EXPECT_NE(module->Quit, nullptr);
    }
}

TEST_F(VisPlugin, InitAnnouncesAVisibleStandInForItsXWindow) {
    ASSERT_NE(start(0), nullptr);
    EXPECT_EQ(g_announcements, 1);
    ASSERT_TRUE(IsWindow(g_announced));
    EXPECT_TRUE(IsWindowVisible(g_announced));
    // Top-level and not message-only: a window search of the host finds it.
    EXPECT_EQ(GetParent(g_announced), nullptr);
    EXPECT_EQ(FindWindow("QuilletVisWindow", nullptr), g_announced);
    char className[64] = {};
    GetClassName(g_announced, className, sizeof className);
    EXPECT_STREQ(className, "QuilletVisWindow");
    char title[128] = {};
    GetWindowText(g_announced, title, sizeof title);
    EXPECT_NE(std::string(title).find("Spectrum"), std::string::npos) << title;

    const xcb_window_t window = xWindow();
    ASSERT_NE(window, 0u);
    Reply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(
        m_conn, xcb_get_property(m_conn, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr));
    ASSERT_TRUE(wmClass);
    const std::string classes(static_cast<const char*>(xcb_get_property_value(wmClass.get())),
                              static_cast<std::size_t>(xcb_get_property_value_length(wmClass.get())));
    EXPECT_EQ(classes, std::string("vis\0QuilletVis\0", 15));
    const auto geometry = geometryOf(window);
    EXPECT_EQ(geometry[2], quillet::vis::kDefaultWidth);
    EXPECT_EQ(geometry[3], quillet::vis::kDefaultHeight);
}

// The column range [first, last] of lit pixels in rows [top, bottom); first > last when none.
struct Lit {
    int first = 1 << 30, last = -1;
};
Lit litColumns(const std::vector<std::uint32_t>& pixels, int width, int top, int bottom) {
    Lit lit;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < width; ++x) {
            if (isLit(pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)])) {
                lit.first = std::min(lit.first, x);
                lit.last = std::max(lit.last, x);
            }
        }
    }
    return lit;
}

TEST_F(VisPlugin, ATonesBarsStandWhereItsFrequencyLiesOnTheLogAxis) {
    // Buffer index j holds the FFT bin at (j + 1) * 44100 / 2048 Hz.
    struct Case {
        int channel;
        double hz;
    };
    const Case cases[] = {{0, 250}, {0, 1000}, {1, 1000}, {0, 4000}, {1, 8000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel << ", " << c.hz << " Hz");
        winampVisModule* module = start(0);
        ASSERT_NE(module, nullptr);
        const int bin = static_cast<int>(std::lround(c.hz * 2048 / 44100 - 1));
        module->spectrumData[c.channel][bin] = 255;
        ASSERT_EQ(module->Render(module), 0);
        // The first channel grows upward from the middle line, the second downward.
        int w = 0, h = 0;
        Lit lit, other;
        auto measure = [&](const std::vector<std::uint32_t>& pixels) {
            const Lit up = litColumns(pixels, w, 0, h / 2), down = litColumns(pixels, w, h / 2 + 1, h);
            lit = c.channel == 0 ? up : down;
            other = c.channel == 0 ? down : up;
            return lit.first <= lit.last && other.first > other.last;
        };
        const auto pixels = grabWhen(w, h, measure);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(w * h));
        EXPECT_GT(other.first, other.last) << "the other channel is silent";
        ASSERT_LE(lit.first, lit.last) << "no bar";
        const double binHz = (bin + 1) * 44100.0 / 2048;
        const double expected = w * std::log(binHz / quillet::vis::kLowHz) /
                                std::log(quillet::vis::bandsTopHz(44100) / quillet::vis::kLowHz);
        const int pitch = w / quillet::vis::barCount(w);
        EXPECT_LE(lit.last - lit.first + 1, pitch) << "one bar";
        EXPECT_GE(lit.first, expected - pitch - 1);
        EXPECT_LE(lit.last, expected + pitch + 1);
        quit();
    }
}

TEST_F(VisPlugin, TheScopeDrawsBothWaveformChannelsAcrossTheWindow) {
    winampVisModule* module = start(1);
    ASSERT_NE(module, nullptr);
    // Four periods, full swing on the first channel, a quarter on the second.
    for (int i = 0; i < VIS_SAMPLES; ++i) {
        const double s = std::sin(2 * M_PI * 4 * i / quillet::vis::kSamples);
        module->waveformData[0][i] =
            static_cast<unsigned char>(static_cast<signed char>(std::lround(127 * s)));
        module->waveformData[1][i] =
            static_cast<unsigned char>(static_cast<signed char>(std::lround(32 * s)));
    }
    ASSERT_EQ(module->Render(module), 0);
    // Per lane: the highest and lowest rows of the trace and the columns it reaches.
    struct Trace {
        int highest, lowest, columns;
    };
    int w = 0, h = 0;
    Trace traces[2] = {};
    auto measure = [&](const std::vector<std::uint32_t>& pixels) {
        const int lane = h / 2;
        for (int c = 0; c < 2; ++c) {
            Trace t{lane, -1, 0};
            for (int x = 0; x < w; ++x) {
                bool any = false;
                for (int y = 0; y < lane; ++y) {
                    if (!isLit(pixels[static_cast<std::size_t>(c * lane + y) * static_cast<std::size_t>(w) +
                                      static_cast<std::size_t>(x)]))
                        continue;
                    any = true;
                    t.highest = std::min(t.highest, y);
                    t.lowest = std::max(t.lowest, y);
                }
                t.columns += any;
            }
            traces[c] = t;
        }
        return traces[0].columns == w && traces[1].columns == w &&
               traces[1].lowest - traces[1].highest < lane / 2;
    };
    const auto pixels = grabWhen(w, h, measure);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(w * h));
    const int lane = h / 2;
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(traces[c].columns, w) << "a trace without gaps";
        // The swing of the trace around the lane's middle follows the amplitude.
        const double swing = (traces[c].lowest - traces[c].highest) / 2.0, full = lane / 2.0 - 1;
        const double wanted = c == 0 ? full * 127 / 128 : full * 32 / 128;
        EXPECT_NEAR(swing, wanted, 3);
        EXPECT_NEAR((traces[c].highest + traces[c].lowest) / 2.0, lane / 2.0, 3);
    }
}

TEST_F(VisPlugin, ResizingTheWindowRedrawsAtTheNewSizeAndMovesTheStandIn) {
    winampVisModule* module = start(0);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->Render(module), 0);
    // The user (through the window manager) makes the window larger.
    const std::uint32_t size[] = {700, 300};
    xcb_configure_window(m_conn, xWindow(), XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_flush(m_conn);
    RECT r{};
    for (auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
        ASSERT_EQ(module->Render(module), 0);
        GetWindowRect(g_announced, &r);
        if (r.right - r.left == 700) break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(r.right - r.left, 700);
    EXPECT_EQ(r.bottom - r.top, 300);
    int w = 0, h = 0;
    const auto pixels = grabWhen(w, h, [&](const std::vector<std::uint32_t>& p) {
        return w == 700 && (p.back() & 0xffffff) == 0x0b0d16u;
    });
    ASSERT_EQ(w, 700);
    ASSERT_EQ(h, 300);
    // Drawn to the new edges: the background in the corner, the middle line at its row.
    EXPECT_EQ(pixels[static_cast<std::size_t>(h - 1) * 700 + 699] & 0xffffff, 0x0b0d16u);
    EXPECT_EQ(pixels[static_cast<std::size_t>(h / 2) * 700 + 699] & 0xffffff, 0x2c3444u);

    // The host places the window through the stand-in.
    MoveWindow(g_announced, 40, 50, 320, 180, TRUE);
    EXPECT_EQ(geometryOf(xWindow()), (std::array<int, 4>{40, 50, 320, 180}));
    ASSERT_EQ(renderUntil(module, 0), 0);
    grab(w, h);
    EXPECT_EQ(w, 320);
}

TEST_F(VisPlugin, ClosingTheWindowEndsTheModule) {
    winampVisModule* module = start(0);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->Render(module), 0);
    const xcb_window_t window = xWindow();
    sendClose();
    EXPECT_EQ(renderUntil(module, 1), 1);
    EXPECT_EQ(module->Render(module), 1) << "stays ended";
    quit();
    EXPECT_FALSE(IsWindow(g_announced));
    EXPECT_FALSE(xWindowExists(window));
}

// Paused: no Render comes. The driver thread's message loop runs the window's timer.
TEST_F(VisPlugin, WhileNoFrameComesAResizeRedrawsAndACloseDestroysTheStandIn) {
    winampVisModule* module = start(0);
    ASSERT_NE(module, nullptr);
    module->spectrumData[0][45] = 255;
    ASSERT_EQ(module->Render(module), 0);
    const std::uint32_t size[] = {640, 320};
    xcb_configure_window(m_conn, xWindow(), XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_flush(m_conn);
    auto pumpUntil = [](auto done) {
        for (auto end = std::chrono::steady_clock::now() + 3s;
             !done() && std::chrono::steady_clock::now() < end;) {
            MSG msg;
            while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            std::this_thread::sleep_for(10ms);
        }
    };
    int w = 0, h = 0;
    std::vector<std::uint32_t> pixels;
    pumpUntil([&] {
        pixels = grab(w, h);
        return w == 640 && (pixels.back() & 0xffffff) == 0x0b0d16u;
    });
    ASSERT_EQ(w, 640);
    EXPECT_EQ(pixels.back() & 0xffffff, 0x0b0d16u) << "the new corner drawn";
    const Lit up = litColumns(pixels, w, 0, h / 2);
    EXPECT_LE(up.first, up.last) << "the last frame's bar drawn again";

    sendClose();
    pumpUntil([&] { return !IsWindow(g_announced); });
    EXPECT_FALSE(IsWindow(g_announced));
    EXPECT_EQ(module->Render(module), 1);
}

TEST_F(VisPlugin, AnotherClientDestroyingTheWindowOrKillingOurConnectionEndsTheModule) {
    struct Case {
        const char* what;
        void (*act)(xcb_connection_t*, xcb_window_t);
    };
    const Case cases[] = {
        {"destroy the window", [](xcb_connection_t* c, xcb_window_t w) { xcb_destroy_window(c, w); }},
        // What xkill does: the server closes the plug-in's connection.
        {"kill the client", [](xcb_connection_t* c, xcb_window_t w) { xcb_kill_client(c, w); }},
    };
    for (const Case& c : cases) {
        for (int index = 0; index < 2; ++index) {
            SCOPED_TRACE(testing::Message() << c.what << ", module " << index);
            winampVisModule* module = start(index);
            ASSERT_NE(module, nullptr);
            ASSERT_EQ(module->Render(module), 0);
            const xcb_window_t window = xWindow();
            c.act(m_conn, window);
            xcb_flush(m_conn);
            EXPECT_EQ(renderUntil(module, 1), 1);
            quit();
            EXPECT_FALSE(IsWindow(g_announced));
            EXPECT_FALSE(xWindowExists(window));
        }
    }
    // The library is still usable afterwards.
    ASSERT_NE(start(0), nullptr);
    EXPECT_EQ(m_running->Render(m_running), 0);
}

// A host's procedure in front of the stand-in's, as the driver puts one: passes
// everything on but keeps WM_DESTROY to itself.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the procedure's link
WNDPROC g_keptProc = nullptr;

LRESULT hostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) return 0;
    return CallWindowProc(g_keptProc, hwnd, msg, wParam, lParam);
}

TEST_F(VisPlugin, TheHostPlacesAndDestroysTheWindowThroughItsStandIn) {
    for (bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "the host's procedure in front" : "the stand-in's own procedure");
        winampVisModule* module = start(0);
        ASSERT_NE(module, nullptr);
        const xcb_window_t window = xWindow();
        if (replaced)
            g_keptProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtr(g_announced, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&hostProc)));
        SetWindowPos(g_announced, nullptr, 30, 20, 300, 150, SWP_NOZORDER);
        EXPECT_EQ(geometryOf(window), (std::array<int, 4>{30, 20, 300, 150}));

        DestroyWindow(g_announced);
        EXPECT_EQ(module->Render(module), 1);
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, window), nullptr));
        ASSERT_TRUE(attributes);
        EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_UNMAPPED);
        quit();
        EXPECT_FALSE(xWindowExists(window));
    }
}

TEST_F(VisPlugin, InitFailsWithoutADisplayAndLeavesNoWindow) {
    const std::string display = std::getenv("DISPLAY");
    for (const char* value : {static_cast<const char*>(nullptr), ":5999", "not a display"}) {
        SCOPED_TRACE(value ? value : "(unset)");
        if (value)
            setenv("DISPLAY", value, 1);
        else
            unsetenv("DISPLAY");
        winampVisModule* module = m_header->getModule(0);
        module->hwndParent = m_main;
        module->hDllInstance = m_library;
        EXPECT_NE(module->Init(module), 0);
        EXPECT_EQ(module->Render(module), 1);
        module->Quit(module);
        EXPECT_EQ(g_announcements, 0);
        EXPECT_EQ(FindWindow("QuilletVisWindow", nullptr), nullptr);
    }
    setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(VisPlugin, GarbageInTheBuffersAndOddSizesDrawInsideTheImage) {
    // Under the address sanitizer any write outside the image fails here.
    std::mt19937 random(19);
    for (int index = 0; index < 2; ++index) {
        winampVisModule* module = start(index);
        ASSERT_NE(module, nullptr);
        const int sizes[][2] = {{1, 1}, {2, 700}, {900, 3}, {64, 32}, {333, 111}};
        for (int round = 0; round < 40; ++round) {
            for (auto& channel : module->spectrumData)
                for (auto& b : channel) b = static_cast<unsigned char>(random());
            for (auto& channel : module->waveformData)
                for (auto& b : channel) b = static_cast<unsigned char>(random());
            module->spectrumNch = static_cast<int>(random() % 9) - 3;
            module->waveformNch = static_cast<int>(random() % 9) - 3;
            module->sRate = static_cast<int>(random());
            if (round % 8 == 0) {
                const auto& s = sizes[(round / 8) % 5];
                MoveWindow(g_announced, 0, 0, s[0], s[1], TRUE);
            }
            ASSERT_EQ(module->Render(module), 0);
        }
        quit();
    }
}

TEST(VisPluginLibrary, QuitAndUnloadLeaveNoThreadAndNoLibrary) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X server (Xvfb)";
    const int threads = threadCount();
    const std::string path = libraryPath();
    for (int round = 0; round < 2; ++round) {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto getHeader = reinterpret_cast<winampVisGetHeaderType>(dlsym(library, "winampVisGetHeader"));
        ASSERT_NE(getHeader, nullptr);
        for (int index = 0; index < 2; ++index) {
            winampVisModule* module = getHeader()->getModule(index);
            module->hwndParent = nullptr;
            module->hDllInstance = library;
            ASSERT_EQ(module->Init(module), 0);
            EXPECT_EQ(module->Render(module), 0);
            module->Quit(module);
        }
        EXPECT_EQ(dlclose(library), 0);
        EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
        EXPECT_EQ(threadCount(), threads);
    }
}

}  // namespace
