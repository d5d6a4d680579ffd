// Helpers of the visualisation tests: the recording plug-in (vis_probe), a stand-in
// for the engine's message window that keeps the driver's notifications, and an
// owner window standing for the main window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/types/VisData.h"
#include "platform/win/MessageLayer.h"
#include "plugins/WinampVis.h"

namespace vistest {

// Pumps the calling thread's messages until pred() or the timeout; returns pred().
bool pumpUntil(const std::function<bool()>& pred, int timeoutMs);
void pumpFor(int ms);

// The probe plug-in, loaded into this process (the driver loads the same copy).
struct Probe {
    static void configure(const std::string& options);
    static std::string log();
    static int renders();
    static std::vector<unsigned char> last(int kind, int channel);  // kind 0 spectrum, 1 waveform
    static HWND window();
    static HWND frame();  // the frame the player gave it (embed=...)
    static void setEmbedFunction(embedWindowFunc f);
    static void announce(HWND parent, bool announce);
    static int count(const std::string& logLine);  // lines that start with logLine
};

// What the driver tells the engine, as the engine's message window gets it.
struct Notice {
    WPARAM code;
    bool withRecord;
    TVisPluginInfo info;  // code 60 or 68 with a record
    TVisParams params;    // code 55
    std::string text;     // code 59
};

class EngineWindow {
  public:
    explicit EngineWindow(UINT message);
    ~EngineWindow();
    HWND hwnd() const { return m_hwnd; }
    std::vector<Notice> notices;
    std::vector<WPARAM> requests;  // WM_PLUGIN_REQUEST codes
    int count(WPARAM code) const;
    bool waitFor(WPARAM code, int timeoutMs, int times = 1);

  private:
    static LRESULT proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
    UINT m_message;
};

// A window standing for the main window: its own procedure counts what reaches it.
class OwnerWindow {
  public:
    OwnerWindow();
    ~OwnerWindow();
    HWND hwnd() const { return m_hwnd; }
    static int ownMessages;  // messages that reached the window's own procedure

  private:
    static LRESULT proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
};

}  // namespace vistest
