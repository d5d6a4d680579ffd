/* A visualisation plug-in for the tests. It records what the player gives it (module
   calls, sRate, nCh, the bytes of every buffer) and does what it is told: fail Init,
   end from Render, hang in Render, withdraw and announce its window again.

   It is told through probe_configure (the tests load it into their own process) or,
   at its first load, through the environment variable QUILLET_VIS_PROBE with the same
   text: comma-separated key=value items, unknown keys ignored:
     modules=N       modules offered (default 2); unterminated=1: the table never ends
     delay=MS        delayMs (default 20); spectrum=N, waveform=N: the channel counts
     fail_init=1     Init returns 1
     render_result=R Render returns R
     hang_ms=MS      the first Render sleeps this long
     window=0|1|2    0 no window, 1 a window announced with IPC_SETVISWND (default),
                     2 a visible window that is not announced (found by the search)
     keep_window=1   Quit leaves the window (else it destroys it)
     embed=E         Init asks the player for a frame instead (IPC_GET_EMBEDIF) and
                     makes its window a child of it: 1 calls the embed function with a
                     state, 2 with a state naming its window (made first, as a pop-up),
                     3 sends the state with IPC_GET_EMBEDIF, 4 calls it without a state
     embed_w=W, embed_h=H  the state's rectangle (default 0 x 0: no size asked)
     xwindow=ID      the X11 window id its window stands for (GWLP_USERDATA)
   Like any plug-in it links against nothing of the player: it resolves the message
   layer's functions from the executable. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "platform/win/WinApi.h"
#include "plugins/WinampVis.h"

#define EXPORT __attribute__((visibility("default")))
#define LOG_BYTES 65536

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static char g_log[LOG_BYTES];
static size_t g_logLen;
static int g_configured;

static struct {
    int modules, unterminated, delay, spectrum, waveform, failInit, renderResult, hangMs, window, keepWindow;
    int embed, embedW, embedH, xwindow;
} g_cfg;

static embedWindowFunc g_embedFunction; /* given by a test, used when the player offers none */
static HWND g_frame;

static winampVisModule g_modules[2];
static HWND g_window;
static int g_renders;
static unsigned char g_lastSpectrum[2][VIS_SAMPLES];
static unsigned char g_lastWaveform[2][VIS_SAMPLES];

static void logf_(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#include <stdarg.h>
static void logf_(const char* fmt, ...) {
    pthread_mutex_lock(&g_lock);
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(g_log + g_logLen, LOG_BYTES - g_logLen, fmt, ap);
    va_end(ap);
    if (n > 0) g_logLen += (size_t)n < LOG_BYTES - g_logLen ? (size_t)n : LOG_BYTES - g_logLen - 1;
    pthread_mutex_unlock(&g_lock);
}

static void configure(const char* text) {
    g_cfg.modules = 2;
    g_cfg.unterminated = 0;
    g_cfg.delay = 20;
    g_cfg.spectrum = 2;
    g_cfg.waveform = 2;
    g_cfg.failInit = 0;
    g_cfg.renderResult = 0;
    g_cfg.hangMs = 0;
    g_cfg.window = 1;
    g_cfg.keepWindow = 0;
    g_cfg.embed = 0;
    g_cfg.embedW = 0;
    g_cfg.embedH = 0;
    g_cfg.xwindow = 0;
    for (const char* p = text ? text : ""; *p;) {
        char key[32] = {0};
        int value = 0, used = 0;
        if (sscanf(p, "%31[^=,]=%d%n", key, &value, &used) == 2) {
            if (!strcmp(key, "modules")) g_cfg.modules = value;
            if (!strcmp(key, "unterminated")) g_cfg.unterminated = value;
            if (!strcmp(key, "delay")) g_cfg.delay = value;
            if (!strcmp(key, "spectrum")) g_cfg.spectrum = value;
            if (!strcmp(key, "waveform")) g_cfg.waveform = value;
            if (!strcmp(key, "fail_init")) g_cfg.failInit = value;
            if (!strcmp(key, "render_result")) g_cfg.renderResult = value;
            if (!strcmp(key, "hang_ms")) g_cfg.hangMs = value;
            if (!strcmp(key, "window")) g_cfg.window = value;
            if (!strcmp(key, "keep_window")) g_cfg.keepWindow = value;
            if (!strcmp(key, "embed")) g_cfg.embed = value;
            if (!strcmp(key, "embed_w")) g_cfg.embedW = value;
            if (!strcmp(key, "embed_h")) g_cfg.embedH = value;
            if (!strcmp(key, "xwindow")) g_cfg.xwindow = value;
        }
        const char* comma = strchr(p, ',');
        if (!comma) break;
        p = comma + 1;
    }
    g_configured = 1;
}

/* A setting, read under the lock: the tests change them while a given-up plug-in
   thread may still run. */
static int cfg(const int* field) {
    pthread_mutex_lock(&g_lock);
    int v = *field;
    pthread_mutex_unlock(&g_lock);
    return v;
}

static LRESULT probeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_MOVE)
        logf_("move %d %d\n", (int)(short)(lParam & 0xFFFF), (int)(short)((lParam >> 16) & 0xFFFF));
    if (msg == WM_DESTROY && hwnd == g_window) g_window = NULL;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

static HWND makeWindow(DWORD style, HWND parent) {
    WNDCLASS wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = probeProc;
    wc.lpszClassName = "VisProbe";
    RegisterClass(&wc); /* already registered by an earlier run: fine */
    HWND w = CreateWindowEx(0, "VisProbe", "vis probe", style | WS_VISIBLE, 0, 0, 200, 150, parent, NULL,
                            NULL, NULL);
    if (w && cfg(&g_cfg.xwindow)) SetWindowLongPtr(w, GWLP_USERDATA, (LONG_PTR)(unsigned)cfg(&g_cfg.xwindow));
    return w;
}

/* Asks the player for a frame and draws inside it. */
static void embedInit(winampVisModule* m, int how) {
    embedWindowFunc embed = (embedWindowFunc)SendMessage(m->hwndParent, WM_WA_IPC, 0, IPC_GET_EMBEDIF);
    pthread_mutex_lock(&g_lock);
    if (!embed) embed = g_embedFunction;
    pthread_mutex_unlock(&g_lock);
    embedWindowState state;
    memset(&state, 0, sizeof state);
    state.r.right = cfg(&g_cfg.embedW);
    state.r.bottom = cfg(&g_cfg.embedH);
    if (how == 2) state.me = g_window = makeWindow(WS_POPUP, NULL);
    HWND frame = NULL;
    if (how == 3)
        frame = (HWND)SendMessage(m->hwndParent, WM_WA_IPC, (WPARAM)&state, IPC_GET_EMBEDIF);
    else if (embed)
        frame = embed(how == 4 ? NULL : &state);
    pthread_mutex_lock(&g_lock);
    g_frame = frame;
    pthread_mutex_unlock(&g_lock);
    logf_("embed frame=%d stored=%d\n", frame != NULL, frame != NULL && state.me == frame);
    if (frame && how != 2) g_window = makeWindow(WS_CHILD, frame);
}

static int probeInit(winampVisModule* m) {
    logf_("init %d sRate=%d nCh=%d\n", (int)(m - g_modules), m->sRate, m->nCh);
    if (cfg(&g_cfg.failInit)) return 1;
    if (cfg(&g_cfg.embed)) {
        embedInit(m, cfg(&g_cfg.embed));
        return 0;
    }
    if (cfg(&g_cfg.window) == 0) return 0;
    g_window = makeWindow(WS_POPUP, NULL);
    if (cfg(&g_cfg.window) == 1) SendMessage(m->hwndParent, WM_WA_IPC, (WPARAM)g_window, IPC_SETVISWND);
    return 0;
}

static int probeRender(winampVisModule* m) {
    pthread_mutex_lock(&g_lock);
    ++g_renders;
    memcpy(g_lastSpectrum, m->spectrumData, sizeof g_lastSpectrum);
    memcpy(g_lastWaveform, m->waveformData, sizeof g_lastWaveform);
    int hang = g_cfg.hangMs;
    int result = g_cfg.renderResult;
    g_cfg.hangMs = 0;
    pthread_mutex_unlock(&g_lock);
    logf_("render sRate=%d nCh=%d\n", m->sRate, m->nCh);
    if (hang > 0) {
        struct timespec ts = {hang / 1000, (long)(hang % 1000) * 1000000L};
        nanosleep(&ts, NULL);
        logf_("woke\n");
    }
    return result;
}

static void probeQuit(winampVisModule* m) {
    logf_("quit %d\n", (int)(m - g_modules));
    if (cfg(&g_cfg.keepWindow)) return;
    if (g_window && IsWindow(g_window)) DestroyWindow(g_window);
    g_window = NULL;
}

static winampVisModule* getModule(int i) {
    if (i < 0) return NULL;
    if (!cfg(&g_cfg.unterminated) && i >= cfg(&g_cfg.modules)) return NULL;
    winampVisModule* m = &g_modules[i % 2];
    m->description = (char*)"probe";
    m->delayMs = cfg(&g_cfg.delay);
    m->latencyMs = 25;
    m->spectrumNch = cfg(&g_cfg.spectrum);
    m->waveformNch = cfg(&g_cfg.waveform);
    m->Init = probeInit;
    m->Render = probeRender;
    m->Quit = probeQuit;
    logf_("getModule %d\n", i);
    return m;
}

static winampVisHeader g_header = {VIS_HDRVER, (char*)"vis probe", getModule};

EXPORT winampVisHeader* winampVisGetHeader(void) {
    pthread_mutex_lock(&g_lock);
    if (!g_configured) configure(getenv("QUILLET_VIS_PROBE"));
    pthread_mutex_unlock(&g_lock);
    logf_("header\n");
    return &g_header;
}

/* For the tests. */
EXPORT void probe_configure(const char* text) {
    pthread_mutex_lock(&g_lock);
    g_logLen = 0;
    g_log[0] = 0;
    g_renders = 0;
    g_frame = NULL;
    configure(text);
    pthread_mutex_unlock(&g_lock);
}

/* A copy of the log so far (the caller frees it). */
EXPORT char* probe_log(void) {
    pthread_mutex_lock(&g_lock);
    char* copy = strdup(g_log);
    pthread_mutex_unlock(&g_lock);
    return copy;
}

EXPORT int probe_renders(void) {
    pthread_mutex_lock(&g_lock);
    int n = g_renders;
    pthread_mutex_unlock(&g_lock);
    return n;
}

/* The last buffers Render saw: kind 0 spectrum, 1 waveform. */
EXPORT void probe_last(int kind, int channel, unsigned char* out) {
    pthread_mutex_lock(&g_lock);
    memcpy(out, kind == 0 ? g_lastSpectrum[channel & 1] : g_lastWaveform[channel & 1], VIS_SAMPLES);
    pthread_mutex_unlock(&g_lock);
}

EXPORT HWND probe_window(void) {
    return g_window;
}

/* The frame the player gave (embed=...). */
EXPORT HWND probe_frame(void) {
    pthread_mutex_lock(&g_lock);
    HWND f = g_frame;
    pthread_mutex_unlock(&g_lock);
    return f;
}

/* The embed function to use when the player's main window offers none (no owner). */
EXPORT void probe_embed_function(embedWindowFunc f) {
    pthread_mutex_lock(&g_lock);
    g_embedFunction = f;
    pthread_mutex_unlock(&g_lock);
}

/* Withdraws the window (0) or announces it again (1), as the plug-in would. */
EXPORT void probe_announce(HWND parent, int announce) {
    SendMessage(parent, WM_WA_IPC, announce ? (WPARAM)g_window : 0, IPC_SETVISWND);
}
