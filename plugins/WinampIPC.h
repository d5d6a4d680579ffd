// The answers a plug-in gets when it treats one of the player's windows as the
// Winamp main window: the emulated Winamp window, the engine's message window and
// the main window while a visualisation plug-in runs. And the service object that
// plug-ins ask for resources.
//
// Threads: the user-interface thread (the three windows belong to it). Text answers
// point into storage of this unit that stays valid until the next answer of the
// same kind.
#pragma once

#include <string>

#include "engine/types/PlayerTypes.h"
#include "engine/types/VisData.h"
#include "platform/win/WinTypes.h"
#include "plugins/WinampVis.h"

namespace quillet::plugins {

// Copies at most size - 1 bytes of text and a NUL into buffer (a text is never cut
// inside a UTF-8 character); with no buffer or a size of 0 nothing is written.
// Returns the bytes copied, the NUL not counted.
int CopyAnswerText(const std::string& text, char* buffer, WPARAM size);

// The plug-in settings file handed to plug-ins: the program folder's
// "Plugins/plugin.ini".
std::string PluginIniPath();

// The emulated window's answer to WM_WA_IPC (ipc in lParam).
LRESULT EmulatedWindowIPC(WPARAM wParam, LPARAM ipc);
// The emulated window's title text for WM_GETTEXT: the title and " - Winamp".
std::string EmulatedWindowText(const std::string& title);
// IPC_GET_EXTENDED_FILE_INFO: points the request's answer at the host's text.
void AnswerExtendedFileInfo(extendedFileInfoStruct* request);

// The engine's message window's answer to WM_WA_IPC.
LRESULT EngineWindowIPC(WPARAM wParam, LPARAM ipc);

// What the main window answers from while a visualisation plug-in runs.
struct TMainWindowView {
    TPlayerMode mode = plmStandby;
    TChannelAttrb attrs;
    uint32_t position = 0;  // ms, from the shared block
};
// The main window's answers to WM_WA_IPC that need nothing but the view (the
// window announcements, the embed request and IPC_DELETE are the driver's).
LRESULT MainWindowIPC(const TMainWindowView& view, WPARAM wParam, LPARAM ipc);
// "0. Title - Winamp", or "0. VAVIVerovu - Winamp" for a title shorter than 3.
std::string MainWindowText(const std::string& title);
LRESULT MainWindowTextLength(const std::string& title);
// The plug-in request a Winamp command stands for in the given mode: the request
// code (or -1 for none) and the answer. False when the command is not a Winamp one.
bool MainWindowCommand(TPlayerMode mode, WPARAM command, int& request, LRESULT& answer);
// A file name from WM_COPYDATA: at most size bytes, up to the first NUL.
std::string CopyDataText(const COPYDATASTRUCT* data);

// The service object (IPC_GET_API_SERVICE), reset to its service-manager role.
void* ServiceObject();
// The object's dispatch function, as plug-ins call it through its first word.
int ServiceDispatch(void* self, int msg, void* retval, void** params, int nparams);

}  // namespace quillet::plugins
