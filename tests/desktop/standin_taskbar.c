// A stand-in taskbar for the docking tests: a top-level X11 window of class
// "Shell_TrayWnd" holding a child of class "TrayNotifyWnd".
//
//   quillet-test-taskbar X Y W H NX NY NW NH
//
// The taskbar's rectangle on the screen, then the notification area's inside
// it. Prints "ready 0x<taskbar id>" once both are mapped and runs until it is
// killed or its standard input closes.
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

static void setClass(xcb_connection_t* c, xcb_window_t w, const char* cls) {
    char value[128];
    const size_t n = strlen(cls) + 1;
    memcpy(value, cls, n);
    memcpy(value + n, cls, n);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, (uint32_t)(2 * n),
                        value);
}

int main(int argc, char** argv) {
    if (argc != 9) {
        fprintf(stderr, "usage: %s X Y W H NX NY NW NH\n", argv[0]);
        return 2;
    }
    int v[8];
    for (int i = 0; i < 8; ++i) v[i] = atoi(argv[i + 1]);
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) return 1;
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

    // Override-redirect: a taskbar places itself; no window manager moves it.
    const uint32_t values[] = {s->black_pixel, 1, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_window_t bar = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, bar, s->root, (int16_t)v[0], (int16_t)v[1], (uint16_t)v[2],
                      (uint16_t)v[3], 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    setClass(c, bar, "Shell_TrayWnd");
    const uint32_t white[] = {s->white_pixel};
    xcb_window_t notify = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, notify, bar, (int16_t)v[4], (int16_t)v[5], (uint16_t)v[6],
                      (uint16_t)v[7], 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL,
                      white);
    setClass(c, notify, "TrayNotifyWnd");
    xcb_map_window(c, notify);
    xcb_map_window(c, bar);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    printf("ready 0x%x\n", bar);
    fflush(stdout);

    struct pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) continue;
        xcb_generic_event_t* e;
        while ((e = xcb_poll_for_event(c)) != NULL) free(e);
        if (xcb_connection_has_error(c)) return 1;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[64];
            if (read(0, buf, sizeof buf) <= 0) break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
