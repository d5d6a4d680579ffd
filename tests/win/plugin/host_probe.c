/* A plug-in-style library: it links against nothing of ours and resolves the
   message functions from the executable that loads it, as a visualisation plug-in does. */
#include "platform/win/WinApi.h"

__attribute__((visibility("default"))) int probe_host(char* title, int size) {
    HWND host = FindWindow("Winamp v1.x", NULL);
    if (host == NULL || !IsWindow(host)) return -1;
    if (GetWindowText(host, title, size) <= 0) return -2;
    if (!PostMessage(host, WM_USER + 1, 5, 6)) return -3;
    return (int)SendMessage(host, WM_USER, 0, 0); /* IPC_GETVERSION */
}
