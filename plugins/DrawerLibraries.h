// The companion drawer libraries: a mini-browser library and a visualisation drawer
// library, loaded from the program folder when they are there. Each is bound all or
// nothing: when one of its entry points is missing the library is unloaded again and
// counts as absent. None ships with the program, so in practice both are absent.
//
// Threads: load, call and unload on the user-interface thread (the engine's
// construction and destruction).
#pragma once

#include <array>
#include <string>

#include "platform/win/MessageLayer.h"

namespace quillet::plugins {

// One library bound by the names of its entry points.
class TDrawerLibrary {
  public:
    template <size_t N>
    TDrawerLibrary(const char* fileName, const std::array<const char*, N>& entryNames)
        : m_fileName(fileName), m_names(entryNames.data()), m_count(N) {}
    ~TDrawerLibrary() { Unload(); }
    TDrawerLibrary(const TDrawerLibrary&) = delete;
    TDrawerLibrary& operator=(const TDrawerLibrary&) = delete;

    // True at once when loaded; otherwise loads folder + the file name and resolves
    // every entry point. A library that will not load or lacks one entry is absent.
    bool Load(const std::string& folder);
    void Unload();
    void* Handle() const { return m_handle; }
    bool Loaded() const { return m_handle != nullptr; }

  protected:
    void* Entry(size_t index) const { return index < m_count ? m_entries[index] : nullptr; }

  private:
    static constexpr size_t kMaxEntries = 16;
    const char* m_fileName;
    const char* const* m_names;
    size_t m_count;
    void* m_handle = nullptr;
    std::array<void*, kMaxEntries> m_entries{};
};

// The mini-browser library: mini-browser, generic drawers, window snapping.
class TMiniBrowserLibrary : public TDrawerLibrary {
  public:
    static constexpr const char* kFileName = "MBDrawer.dll";
    TMiniBrowserLibrary();
    // Loads the library from folder and makes the mini-browser window. Null when the
    // library is absent or makes no window; then it is unloaded again.
    HWND Start(const std::string& folder, HWND owner, HWND messageWindow, UINT message);
    // The opaque procedure value handed on to the drawer frame's snapping.
    void* SubClassProc() const;
    // Closes the mini-browser and the eight generic drawers.
    void QuitAll() const;
};

// The visualisation drawer library: a frame for visualisation windows.
class TVisDrawerLibrary : public TDrawerLibrary {
  public:
    static constexpr const char* kFileName = "ZirEdozir2.dll";
    TVisDrawerLibrary();
};

}  // namespace quillet::plugins
