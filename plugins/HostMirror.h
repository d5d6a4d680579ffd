// What the plug-in host keeps of the engine for plug-in queries, so they are
// answered without calling back into the engine: the player's mode, the stream
// information, the channel kind and handles; and the emulated Winamp window through
// which plug-ins find the player and ask it questions.
//
// Thread: the user-interface thread only. The engine writes the mirror there, and the
// plug-ins' window messages are answered there.
#pragma once

#include "engine/types/PlayerTypes.h"
#include "engine/types/StreamInfo.h"
#include "platform/win/WinTypes.h"

namespace quillet::plugins {

class THostMirror {
  public:
    void setStreamInfo(const TStreamInfo& info) { m_streamInfo = info; }
    void setPlayerMode(TPlayerMode mode) { m_playerMode = mode; }
    void setChannels(TStreamKind kind, DWORD source, DWORD output) {
        m_streamKind = kind;
        m_sourceChannel = source;
        m_outputChannel = output;
    }

    TPlayerMode playerMode() const { return m_playerMode; }
    const TStreamInfo& streamInfo() const { return m_streamInfo; }
    TStreamKind streamKind() const { return m_streamKind; }
    DWORD sourceChannel() const { return m_sourceChannel; }
    DWORD outputChannel() const { return m_outputChannel; }

    // Creates the hidden emulated Winamp window (class "Winamp v1.x", title
    // "Winamp 2.41", owned by `owner`) and remembers its window procedure.
    void createWinampWindow(HWND owner);
    // Puts the remembered procedure back when a plug-in replaced it, and destroys the
    // window.
    void destroyWinampWindow();
    HWND winampWindow() const { return m_winampWindow; }  // 0 when there is none

  private:
    TPlayerMode m_playerMode = plmStandby;
    TStreamInfo m_streamInfo;
    TStreamKind m_streamKind = skNone;
    DWORD m_sourceChannel = 0;
    DWORD m_outputChannel = 0;
    HWND m_winampWindow = nullptr;
    WNDPROC m_winampWindowProc = nullptr;  // its procedure when created
};

}  // namespace quillet::plugins
