// A library loaded at run time calls the message functions the executable exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <future>

#include "platform/win/MessageLayer.h"

using namespace quillet::win;

namespace {
std::vector<std::pair<WPARAM, LPARAM>> g_posted;

LRESULT hostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER) return 0x2041;
    if (msg == WM_USER + 1) g_posted.push_back({wParam, lParam});
    return DefWindowProc(hwnd, msg, wParam, lParam);
}
}  // namespace

TEST(PluginHost, ALoadedLibraryFindsAndMessagesTheHostWindow) {
    WNDCLASS wc{};
    wc.lpfnWndProc = hostProc;
    wc.lpszClassName = "Winamp v1.x";
    ASSERT_NE(RegisterClass(&wc), 0);
    HWND host = CreateWindowEx(0, "Winamp v1.x", "Winamp 2.41", WS_POPUP, 5, 5, 25, 25, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(host, nullptr);

    void* lib = dlopen(QUILLET_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    using Probe = int (*)(char*, int);
    auto probe = reinterpret_cast<Probe>(dlsym(lib, "probe_host"));
    ASSERT_NE(probe, nullptr);

    // The plug-in runs on a thread of its own; the host keeps pumping meanwhile.
    char title[32] = {};
    auto result = std::async(std::launch::async, [&] { return probe(title, sizeof title); });
    while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) ProcessMessages();
    EXPECT_EQ(result.get(), 0x2041);
    EXPECT_STREQ(title, "Winamp 2.41");
    ProcessMessages();
    ASSERT_EQ(g_posted.size(), 1u);
    EXPECT_EQ(g_posted[0], (std::pair<WPARAM, LPARAM>{5, 6}));

    // And on the host's own thread, where SendMessage is a direct call.
    EXPECT_EQ(probe(title, sizeof title), 0x2041);
    dlclose(lib);
    DestroyWindow(host);
}
