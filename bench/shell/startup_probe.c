// Starts the player and measures its first impression on an X server:
//
//   quillet-bench-startup PROGRAM [IDLE_SECONDS]
//
// Prints one line "mapped_ms RSS_KB IDLE_CPU_MS MAP_CPU_MS": the time from
// exec to the map of the first window of WM_CLASS class "Quillet" with the
// role "mini", the program's resident memory two seconds after the start, the
// CPU time (user + system) it used over the following IDLE_SECONDS (default
// 5) while nothing plays, and the CPU time it had used when the window was
// mapped (on a loaded machine the wall time mostly measures the wait for a
// core; the CPU time does not). The program is then ended with SIGTERM. Exit
// status 1 when the window did not appear within 20 s or the program ended
// early.
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double nowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    free(r);
    return a;
}

// The string property's value equals `want` (for WM_CLASS: its second string).
static int propertyIs(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, const char* want,
                      int second) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), NULL);
    if (r == NULL) return 0;
    const char* v = xcb_get_property_value(r);
    const int n = xcb_get_property_value_length(r);
    int at = 0;
    if (second) {
        while (at < n && v[at] != '\0') ++at;
        ++at;
    }
    const size_t len = strlen(want);
    const int match = at + (int)len <= n && memcmp(v + at, want, len) == 0 &&
                      (at + (int)len == n || v[at + (int)len] == '\0');
    free(r);
    return match;
}

// Resident set size (kB) and CPU time used (ms) of a process, from /proc.
static long rssKb(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    long kb = -1;
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld", &kb) == 1) break;
    if (f) fclose(f);
    return kb;
}

static double cpuMs(pid_t pid) {
    char path[64], buf[1024];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* f = fopen(path, "r");
    if (f == NULL) return -1;
    const size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = '\0';
    const char* p = strrchr(buf, ')');  // the command name may hold spaces
    unsigned long utime = 0, stime = 0;
    if (p == NULL ||
        sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) * 1000.0 / (double)sysconf(_SC_CLK_TCK);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s PROGRAM [IDLE_SECONDS]\n", argv[0]);
        return 2;
    }
    const int idleSeconds = argc > 2 ? atoi(argv[2]) : 5;
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "no X server\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t role = atom(c, "WM_WINDOW_ROLE");
    xcb_flush(c);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        char* const args[] = {argv[1], NULL};
        execv(argv[1], args);
        _exit(127);
    }
    double mapped = -1, mapCpu = -1;
    while (mapped < 0 && nowMs() - start < 20000) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (e == NULL) {
            if (xcb_connection_has_error(c) || waitpid(pid, NULL, WNOHANG) == pid) break;
            usleep(200);
            continue;
        }
        if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const xcb_window_t w = ((xcb_map_notify_event_t*)e)->window;
            if (propertyIs(c, w, XCB_ATOM_WM_CLASS, "Quillet", 1) && propertyIs(c, w, role, "mini", 0)) {
                mapped = nowMs() - start;
                mapCpu = cpuMs(pid);
            }
        }
        free(e);
    }
    if (mapped < 0) {
        fprintf(stderr, "the mini window did not appear\n");
        kill(pid, SIGKILL);
        waitpid(pid, NULL, 0);
        return 1;
    }
    const double wait = 2000 - (nowMs() - start);
    if (wait > 0) usleep((useconds_t)(wait * 1000));
    const long rss = rssKb(pid);
    const double cpuBefore = cpuMs(pid);
    sleep((unsigned)idleSeconds);
    const double cpuAfter = cpuMs(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    printf("%.1f %ld %.0f %.0f\n", mapped, rss, cpuAfter - cpuBefore, mapCpu);
    xcb_disconnect(c);
    return 0;
}
