// The companion drawer libraries: bound all or nothing from a folder, the mini-browser
// window made at start, and the shutdown calls.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "plugins/DrawerLibraries.h"

namespace {

namespace fs = std::filesystem;
using quillet::plugins::TMiniBrowserLibrary;
using quillet::plugins::TVisDrawerLibrary;

// A folder holding both libraries' file names, linked to one build of the stand-in.
class DrawerFolder {
  public:
    explicit DrawerFolder(const char* library) {
        m_dir = fs::temp_directory_path() /
                ("drawers-" + std::to_string(getpid()) + "-" + std::to_string(++s_count));
        fs::create_directories(m_dir);
        if (library) {
            fs::create_symlink(library, m_dir / TMiniBrowserLibrary::kFileName);
            fs::create_symlink(library, m_dir / TVisDrawerLibrary::kFileName);
        }
    }
    ~DrawerFolder() { fs::remove_all(m_dir); }
    std::string path() const { return m_dir.string() + "/"; }
    // Whether the process still has the library mapped.
    bool mapped(const char* name) const {
        void* h = dlopen((m_dir / name).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

  private:
    // Names the folders of one process apart.
    static inline int s_count = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
    fs::path m_dir;
};

template <typename T>
T& probeSymbol(void* handle, const char* name) {
    auto* p = static_cast<T*>(dlsym(handle, name));
    EXPECT_NE(p, nullptr) << name;
    return *p;
}

HWND fakeWindow(uintptr_t n) {
    return reinterpret_cast<HWND>(n);
}

TEST(DrawerLibraries, AbsentWhenTheFolderLacksThem) {
    DrawerFolder folder(nullptr);
    TMiniBrowserLibrary browser;
    TVisDrawerLibrary drawer;
    EXPECT_EQ(browser.Start(folder.path(), fakeWindow(1), fakeWindow(2), 0xC000), nullptr);
    EXPECT_FALSE(browser.Loaded());
    EXPECT_FALSE(drawer.Load(folder.path()));
    EXPECT_EQ(drawer.Handle(), nullptr);
    browser.QuitAll();  // nothing to call: must not crash
    EXPECT_EQ(browser.SubClassProc(), nullptr);
}

TEST(DrawerLibraries, ALibraryMissingOneEntryIsUnloadedAgain) {
    DrawerFolder folder(QUILLET_DRAWER_PARTIAL);
    TMiniBrowserLibrary browser;
    TVisDrawerLibrary drawer;
    EXPECT_EQ(browser.Start(folder.path(), fakeWindow(1), fakeWindow(2), 0xC000), nullptr);
    EXPECT_FALSE(drawer.Load(folder.path()));
    EXPECT_FALSE(browser.Loaded());
    EXPECT_EQ(drawer.Handle(), nullptr);
    EXPECT_FALSE(folder.mapped(TVisDrawerLibrary::kFileName));
}

TEST(DrawerLibraries, CompleteLibrariesBindAndShutDown) {
    DrawerFolder folder(QUILLET_DRAWER_FULL);
    {
        TMiniBrowserLibrary browser;
        TVisDrawerLibrary drawer;
        ASSERT_TRUE(drawer.Load(folder.path()));
        void* handle = drawer.Handle();
        ASSERT_NE(handle, nullptr);
        EXPECT_TRUE(drawer.Load(folder.path()));  // already loaded: at once, same library
        EXPECT_EQ(drawer.Handle(), handle);

        EXPECT_EQ(browser.Start(folder.path(), fakeWindow(7), fakeWindow(2), 0xC000), fakeWindow(7));
        ASSERT_TRUE(browser.Loaded());
        EXPECT_EQ(probeSymbol<void*>(browser.Handle(), "drawer_probe_library"), browser.Handle());
        EXPECT_EQ(browser.SubClassProc(), &probeSymbol<int>(browser.Handle(), "drawer_probe_quit_browser"));

        browser.QuitAll();
        EXPECT_EQ(probeSymbol<int>(handle, "drawer_probe_quit_browser"), 1);
        EXPECT_EQ(probeSymbol<int>(handle, "drawer_probe_quit_drawers"), 0xFF);  // drawers 0 to 7
        browser.Unload();
        EXPECT_FALSE(browser.Loaded());
        EXPECT_TRUE(folder.mapped(TVisDrawerLibrary::kFileName));  // the drawer still holds it
    }
    EXPECT_FALSE(folder.mapped(TVisDrawerLibrary::kFileName));  // both gone with their owners
}

TEST(DrawerLibraries, AMiniBrowserThatMakesNoWindowIsUnloaded) {
    DrawerFolder folder(QUILLET_DRAWER_FULL);
    TMiniBrowserLibrary browser;
    EXPECT_EQ(browser.Start(folder.path(), nullptr, fakeWindow(2), 0xC000), nullptr);
    EXPECT_FALSE(browser.Loaded());
    EXPECT_FALSE(folder.mapped(TMiniBrowserLibrary::kFileName));
}

}  // namespace
