/* A stand-in companion library exporting the entry points of both drawer libraries.
 * Built whole and built with DRAWER_PROBE_PARTIAL, which leaves one entry point of
 * each library out. It records the shutdown calls it gets. */
#include <stddef.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int drawer_probe_quit_browser = 0;
EXPORT int drawer_probe_quit_drawers = 0; /* bit n: QuitGenDrawer(n) */
EXPORT void* drawer_probe_library = NULL;

/* The mini-browser window is the owner handed in, so a null owner means "declined". */
EXPORT void* InitMiniBrowser(void* library, void* owner, void* messageWindow, unsigned message) {
    (void)messageWindow;
    (void)message;
    drawer_probe_library = library;
    return owner;
}
EXPORT void* GetSubClass_Proc(void) {
    return (void*)&drawer_probe_quit_browser;
}
EXPORT void QuitMiniBrowser(void) {
    ++drawer_probe_quit_browser;
}
EXPORT void QuitGenDrawer(int index) {
    if (index >= 0 && index < 31) drawer_probe_quit_drawers |= 1 << index;
}
EXPORT void ShowMiniBrowser(void) {}
EXPORT void MBNavigate(void) {}
EXPORT void MBNavigate2(void) {}
EXPORT void AddMagneticWindow(void) {}
EXPORT void RemoveMagneticWindow(void) {}
EXPORT void InitGenDrawer(void) {}
EXPORT void ShowGenDrawer(void) {}
EXPORT void GetGenDrawerInfo(void) {}
EXPORT void GetGenexBitmap(void) {}
EXPORT void RunVisDrawer(void) {}
EXPORT void QuitVisDrawer(void) {}
#ifndef DRAWER_PROBE_PARTIAL
EXPORT void GetLyricsText(void) {}
EXPORT void VisDrawerActive(void) {}
#endif
