// Windows, classes, procedures, text, lookup, geometry, registered messages and
// message boxes.
#include <gtest/gtest.h>

#include <cstring>

#include "TestWindows.h"
#include "platform/win/MessageBox.h"

using namespace quillet::win;
using wintest::Recorder;

namespace {

// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): read by a window procedure
WNDPROC g_previous = nullptr;
std::atomic<int> g_subclassCalls{0};
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

LRESULT subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++g_subclassCalls;
    if (msg == WM_USER) return 0x5010;  // answered here, never reaches the old procedure
    if (msg == WM_GETTEXTLENGTH) return 10;
    return CallWindowProc(g_previous, hwnd, msg, wParam, lParam);
}

struct FakeSurface : WindowSurface {
    RECT frame_{0, 0, 0, 0};
    bool visible_ = false;
    mutable std::atomic<DWORD> lastThread{0};
    RECT frame() const override {
        lastThread = GetCurrentThreadId();
        return frame_;
    }
    RECT client() const override {
        return RECT{0, 0, frame_.right - frame_.left - 8, frame_.bottom - frame_.top - 26};
    }
    void setFrame(const RECT& r) override {
        lastThread = GetCurrentThreadId();
        frame_ = r;
    }
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }
    std::uint64_t nativeId() const override { return 0x400007; }
};

}  // namespace

TEST(Windows, RegisteredMessagesShareOneNumberPerName) {
    const UINT a = RegisterWindowMessage("WM_BASSSendingData");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessage("WM_BASSSendingData"), a);
    EXPECT_EQ(RegisterWindowMessage("wm_basssendingdata"), a) << "names compare without case";
    const UINT b = RegisterWindowMessage("AnotherMessage");
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    UINT fromThread = 0;
    std::thread([&] { fromThread = RegisterWindowMessage("WM_BASSSendingData"); }).join();
    EXPECT_EQ(fromThread, a);
}

TEST(Windows, SubclassingReturnsTheOldProcedureAndCallsThrough) {
    Recorder::instance().reset();
    HWND w = wintest::makeWindow("Main");
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtr(w, GWLP_WNDPROC));
    ASSERT_NE(original, nullptr);
    Recorder::instance().on(WM_USER + 1, [](HWND, WPARAM, LPARAM) -> LRESULT { return 77; });

    // The visualisation driver replaces the procedure from its own thread.
    std::thread([&] {
        g_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc)));
    }).join();
    EXPECT_EQ(g_previous, original);
    g_subclassCalls = 0;
    EXPECT_EQ(SendMessage(w, WM_USER, 0, 0), 0x5010);
    EXPECT_EQ(SendMessage(w, WM_USER + 1, 0, 0), 77) << "called through to the old procedure";
    EXPECT_EQ(GetWindowTextLength(w), 10);
    char text[16];
    EXPECT_EQ(GetWindowText(w, text, sizeof text), 4);
    EXPECT_STREQ(text, "Main");
    EXPECT_EQ(g_subclassCalls.load(), 4);
    auto got = Recorder::instance().received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, WM_USER + 1u);

    // Putting the old procedure back returns the replacement.
    EXPECT_EQ(SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original)),
              reinterpret_cast<LONG_PTR>(subclassProc));
    EXPECT_EQ(SendMessage(w, WM_USER, 0, 0), 0);
    EXPECT_EQ(SetWindowLongPtr(w, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetWindowLongPtr(w, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtr(w, GWLP_USERDATA), 1234);
    GetWindowLongPtr(w, 99);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(w);
}

TEST(Windows, FindWindowByClassAndTitleSkipsMessageOnlyWindows) {
    Recorder::instance().reset();
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "Winamp v1.x";
    ASSERT_NE(RegisterClass(&wc), 0);
    EXPECT_EQ(RegisterClass(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    HWND hidden = wintest::makeWindow("Hidden", HWND_MESSAGE);
    EXPECT_EQ(FindWindow("TestRecorder", nullptr), nullptr) << "message-only windows are not found";
    HWND winamp = CreateWindowEx(0, "Winamp v1.x", "Winamp 2.41", WS_POPUP, 5, 5, 25, 25, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(winamp, nullptr);
    EXPECT_EQ(FindWindow("winamp v1.X", nullptr), winamp);
    EXPECT_EQ(FindWindow(nullptr, "Winamp 2.41"), winamp);
    EXPECT_EQ(FindWindow("Winamp v1.x", "Other"), nullptr);
    EXPECT_EQ(FindWindowEx(HWND_MESSAGE, nullptr, "TestRecorder", "Hidden"), hidden);
    HWND child = CreateWindowEx(WS_EX_CLIENTEDGE, "STATIC", "Embed target", WS_CHILD, 0, 0, 10, 10, winamp,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(FindWindowEx(winamp, nullptr, "static", nullptr), child);
    EXPECT_EQ(GetParent(child), winamp);
    char name[32];
    EXPECT_EQ(GetClassName(child, name, sizeof name), 6);
    EXPECT_STREQ(name, "STATIC");
    EXPECT_EQ(UnregisterClass("Winamp v1.x", nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));

    // A pop-up given a parent is owned by it: top-level, found, gone with its owner.
    HWND owned =
        CreateWindowEx(0, "Winamp v1.x", "Owned", WS_POPUP, 0, 0, 5, 5, winamp, nullptr, nullptr, nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(FindWindow(nullptr, "Owned"), owned);
    EXPECT_EQ(FindWindowEx(winamp, nullptr, nullptr, "Owned"), nullptr) << "not a child";
    EXPECT_EQ(GetParent(owned), winamp);
    EXPECT_EQ(GetWindowLongPtr(owned, GWLP_HWNDPARENT), reinterpret_cast<LONG_PTR>(winamp));

    std::vector<HWND> topLevel;
    EnumWindows(
        [](HWND h, LPARAM l) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&topLevel));
    EXPECT_EQ(topLevel, (std::vector<HWND>{winamp, owned})) << "neither message-only nor child windows";

    DestroyWindow(winamp);
    EXPECT_FALSE(IsWindow(child)) << "children go with their parent";
    EXPECT_FALSE(IsWindow(owned)) << "owned windows go with their owner";
    EXPECT_EQ(FindWindow("Winamp v1.x", nullptr), nullptr);
    EXPECT_TRUE(UnregisterClass("Winamp v1.x", nullptr));
    EXPECT_EQ(CreateWindowEx(0, "Winamp v1.x", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    DestroyWindow(hidden);
}

TEST(Windows, TextIsReadThroughTheOwnerAndNeverCutInsideACharacter) {
    Recorder::instance().reset();
    wintest::LoopThread owner("Caf\xc3\xa9!");  // "Café!": the é takes two bytes
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowTextLength(owner.hwnd), 6);
    EXPECT_EQ(GetWindowText(owner.hwnd, buffer, sizeof buffer), 6);
    EXPECT_STREQ(buffer, "Caf\xc3\xa9!");
    EXPECT_EQ(GetWindowText(owner.hwnd, buffer, 5), 3) << "4 bytes would split the é";
    EXPECT_STREQ(buffer, "Caf");
    EXPECT_EQ(GetWindowText(owner.hwnd, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(SetWindowText(owner.hwnd, "Winamp 2.41"));
    EXPECT_EQ(FindWindow(nullptr, "Winamp 2.41"), nullptr) << "message-only";
    EXPECT_EQ(SendMessage(owner.hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 11);
    EXPECT_STREQ(buffer, "Winamp 2.41");
    EXPECT_EQ(GetWindowText(reinterpret_cast<HWND>(intptr_t{12345}), buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Windows, GeometryAndVisibilityWithAndWithoutASurface) {
    Recorder::instance().reset();
    std::vector<std::pair<UINT, LPARAM>> notes;
    for (UINT m : {WM_MOVE, WM_SIZE, WM_SHOWWINDOW}) {
        Recorder::instance().on(m, [&notes, m](HWND, WPARAM w, LPARAM l) -> LRESULT {
            notes.push_back({m, m == WM_SHOWWINDOW ? static_cast<LPARAM>(w) : l});
            return 0;
        });
    }
    HWND w =
        CreateWindowEx(0, "TestRecorder", "", WS_POPUP, 10, 20, 100, 50, nullptr, nullptr, nullptr, nullptr);
    RECT r;
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 70);
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_FALSE(ShowWindow(w, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(GetWindowLong(w, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(SetWindowPos(w, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_TRUE(MoveWindow(w, 30, 40, 200, 60, TRUE));
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 60);
    const std::vector<std::pair<UINT, LPARAM>> expected = {
        {WM_SHOWWINDOW, TRUE}, {WM_MOVE, (40 << 16) | 30}, {WM_SIZE, (60 << 16) | 200}};
    EXPECT_EQ(notes, expected);

    // A form's geometry comes from its surface, on the owner thread even when asked elsewhere.
    auto surface = std::make_shared<FakeSurface>();
    surface->frame_ = RECT{100, 0, 300, 32};
    ASSERT_TRUE(AttachWindowSurface(w, surface));
    std::atomic<bool> done{false};
    RECT seen{};
    std::thread other([&] {
        GetWindowRect(w, &seen);
        done = true;
    });
    while (!done) ProcessMessages();
    other.join();
    EXPECT_EQ(seen.left, 100);
    EXPECT_EQ(seen.right, 300);
    EXPECT_EQ(surface->lastThread.load(), GetCurrentThreadId());
    EXPECT_FALSE(ShowWindow(w, SW_SHOWNA));
    EXPECT_TRUE(surface->visible_);
    DestroyWindow(w);
}

TEST(Windows, APlaceAboutToBeTakenCanBeChangedByTheProcedure) {
    Recorder::instance().reset();
    std::vector<UINT> flags;
    Recorder::instance().on(WM_WINDOWPOSCHANGING, [&](HWND, WPARAM, LPARAM l) -> LRESULT {
        auto* pos = reinterpret_cast<WINDOWPOS*>(l);
        flags.push_back(pos->flags);
        if (pos->cx > 300) pos->cx = 300;  // a procedure that caps the width
        pos->y = 5;                        // and keeps the window at the top
        return 0;
    });
    HWND w =
        CreateWindowEx(0, "TestRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(MoveWindow(w, 40, 50, 500, 60, TRUE));
    RECT r;
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right, 340);
    EXPECT_EQ(r.bottom, 65);
    EXPECT_TRUE(SetWindowPos(w, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 70);
    EXPECT_EQ(r.right - r.left, 300) << "the size is kept";
    EXPECT_EQ(flags, (std::vector<UINT>{SWP_NOZORDER, SWP_NOSIZE | SWP_NOZORDER}));
    DestroyWindow(w);
}

TEST(Windows, SetParentMovesAWindowUnderAnother) {
    Recorder::instance().reset();
    HWND frame = CreateWindowEx(0, "TestRecorder", "frame", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                nullptr, nullptr);
    HWND owner =
        CreateWindowEx(0, "TestRecorder", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    HWND pane =
        CreateWindowEx(0, "TestRecorder", "pane", WS_POPUP, 5, 6, 50, 40, owner, nullptr, nullptr, nullptr);
    EXPECT_EQ(SetParent(pane, frame), owner) << "the previous answer of GetParent";
    EXPECT_EQ(GetParent(pane), frame);
    EXPECT_EQ(FindWindowEx(frame, nullptr, nullptr, nullptr), pane);
    EXPECT_EQ(FindWindow(nullptr, "pane"), nullptr) << "no longer a top-level window";
    RECT r;
    ASSERT_TRUE(GetWindowRect(pane, &r));
    EXPECT_EQ(r.left, 5);
    DestroyWindow(owner);
    EXPECT_TRUE(IsWindow(pane)) << "no longer owned";
    EXPECT_EQ(SetParent(frame, pane), nullptr) << "not under its own child";
    EXPECT_EQ(SetParent(frame, frame), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetParent(pane, nullptr), frame);
    EXPECT_EQ(FindWindow(nullptr, "pane"), pane);
    DestroyWindow(frame);
    EXPECT_TRUE(IsWindow(pane));
    DestroyWindow(pane);
}

TEST(Windows, ForeignWindowsAreFoundButTakeNoMessages) {
    auto surface = std::make_shared<FakeSurface>();
    surface->frame_ = RECT{0, 992, 1280, 1024};
    HWND tray = RegisterForeignWindow(0x400007, "Shell_TrayWnd", "", surface);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(RegisterForeignWindow(0x400007, "Shell_TrayWnd", "", surface), tray)
        << "one handle per native window";
    EXPECT_EQ(FindForeignWindow(0x400007), tray);
    EXPECT_EQ(FindWindow("Shell_TrayWnd", nullptr), tray);
    RECT r;
    ASSERT_TRUE(GetWindowRect(tray, &r));
    EXPECT_EQ(r.top, 992);
    EXPECT_FALSE(PostMessage(tray, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(tray, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(tray));
    EXPECT_TRUE(ForgetForeignWindow(tray));
    EXPECT_FALSE(IsWindow(tray));
    EXPECT_EQ(FindForeignWindow(0x400007), nullptr);
}

TEST(Windows, CreationCanBeRefusedByTheProcedure) {
    static int destroyed = 0;
    WNDCLASS wc{};
    wc.lpszClassName = "Refuser";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_CREATE) return -1;
        if (m == WM_DESTROY) ++destroyed;
        return DefWindowProc(h, m, w, l);
    };
    ASSERT_NE(RegisterClass(&wc), 0);
    EXPECT_EQ(CreateWindow("Refuser", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(FindWindowEx(HWND_MESSAGE, nullptr, "Refuser", nullptr), nullptr);
}

TEST(MessageBoxes, GoThroughTheInstalledPresenter) {
    auto recorder = std::make_shared<RecordingMessageBoxPresenter>();
    setMessageBoxPresenter(recorder);
    HWND owner = wintest::makeWindow();
    EXPECT_EQ(MessageBox(owner, "Failed loading vis module", "Error", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "Save?", "Quillet", MB_YESNO | MB_DEFBUTTON2), IDNO);
    recorder->setAnswer(IDYES);
    int fromThread = 0;
    std::thread([&] { fromThread = MessageBox(nullptr, "Again?", "Quillet", MB_YESNO); }).join();
    EXPECT_EQ(fromThread, IDYES);
    auto boxes = recorder->boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].text, "Failed loading vis module");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_NE(boxes[2].threadId, GetCurrentThreadId());
    setMessageBoxPresenter(nullptr);
    EXPECT_NE(dynamic_cast<StderrMessageBoxPresenter*>(messageBoxPresenter().get()), nullptr);
    EXPECT_EQ(defaultButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(defaultButton(MB_OKCANCEL), IDOK);
    DestroyWindow(owner);
}
