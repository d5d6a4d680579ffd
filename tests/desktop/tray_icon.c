// A system-tray icon for the docking tests: a small XEmbed client that asks
// the tray manager (the owner of _NET_SYSTEM_TRAY_S0) to dock it, and docks
// again whenever a new manager announces itself (a panel that restarted).
//
//   quillet-test-trayicon
//
// Prints "ready 0x<icon id>" once its first dock request is sent and runs
// until it is killed or its standard input closes.
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

static xcb_connection_t* c;
static xcb_screen_t* screen;

static xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    const xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return a;
}

static xcb_window_t manager(xcb_atom_t selection) {
    xcb_get_selection_owner_reply_t* r =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), NULL);
    const xcb_window_t w = r ? r->owner : XCB_NONE;
    free(r);
    return w;
}

static xcb_window_t makeIcon(void) {
    const uint32_t values[] = {0xff8000, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 22, 22, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    // XEmbed protocol version 0, mapped.
    const uint32_t info[] = {0, 1};
    const xcb_atom_t xembed = atom("_XEMBED_INFO");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, xembed, xembed, 32, 2, info);
    const char cls[] = "trayicon\0QuilletTestTrayIcon";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof cls, cls);
    return w;
}

// Asks the tray manager, when there is one, to dock the icon.
static int requestDock(xcb_atom_t selection, xcb_window_t icon) {
    const xcb_window_t owner = manager(selection);
    if (owner == XCB_NONE) return 0;
    xcb_client_message_event_t e;
    memset(&e, 0, sizeof e);
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = owner;
    e.type = atom("_NET_SYSTEM_TRAY_OPCODE");
    e.data.data32[0] = XCB_CURRENT_TIME;
    e.data.data32[1] = 0;  // SYSTEM_TRAY_REQUEST_DOCK
    e.data.data32[2] = icon;
    xcb_send_event(c, 0, owner, XCB_EVENT_MASK_NO_EVENT, (const char*)&e);
    xcb_flush(c);
    return 1;
}

int main(void) {
    c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) return 1;
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t managerAtom = atom("MANAGER");
    // Tray managers announce themselves to the root with a MANAGER message.
    const uint32_t rootMask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, rootMask);

    xcb_window_t icon = makeIcon();
    int docked = 0, announced = 0;
    struct pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    for (;;) {
        if (!docked) docked = requestDock(selection, icon);
        if (docked && !announced) {
            printf("ready 0x%x\n", icon);
            fflush(stdout);
            announced = 1;
        }
        // Events read during the requests above wait in xcb's queue, unseen by poll().
        xcb_generic_event_t* e = xcb_poll_for_queued_event(c);
        fds[1].revents = 0;
        if (e == NULL) {
            if (poll(fds, 2, docked ? -1 : 100) < 0) continue;
            e = xcb_poll_for_event(c);
        }
        for (; e != NULL; e = xcb_poll_for_event(c)) {
            const int type = e->response_type & 0x7f;
            if (type == XCB_CLIENT_MESSAGE) {
                const xcb_client_message_event_t* m = (const xcb_client_message_event_t*)e;
                if (m->type == managerAtom && m->data.data32[1] == selection) docked = 0;
            } else if (type == XCB_DESTROY_NOTIFY && ((xcb_destroy_notify_event_t*)e)->window == icon) {
                icon = makeIcon();  // went with the panel it was docked in
                docked = 0;
            } else if (type == XCB_REPARENT_NOTIFY && ((xcb_reparent_notify_event_t*)e)->window == icon &&
                       ((xcb_reparent_notify_event_t*)e)->parent == screen->root) {
                docked = 0;  // handed back to the root: the manager is gone
            }
            free(e);
        }
        if (xcb_connection_has_error(c)) return 1;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[64];
            if (read(0, buf, sizeof buf) <= 0) break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
