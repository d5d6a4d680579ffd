#include "plugins/WinampIPC.h"

#include <unistd.h>

#include <cstring>

#include "plugins/PluginHost.h"

namespace quillet::plugins {

namespace {

constexpr LRESULT kEmulatedVersion = 0x2041;
constexpr LRESULT kPlayerVersion = 0x5010;

// A fixed title and artist for a request about no file.
constexpr const char* kSampleTitle = "Quillet";
constexpr const char* kSampleArtist = "Quillet";

// The text answers and where they live until the next answer of their kind.
struct TAnswers {
    std::string empty;
    std::wstring emptyWide;
    std::string iniPath;
    std::string extended;
    std::wstring fileNameWide;
    std::wstring titleWide;
};
TAnswers& answers() {
    static TAnswers a;  // user-interface thread only
    return a;
}

LRESULT textAnswer(std::string& slot, std::string text) {
    slot = std::move(text);
    return reinterpret_cast<LRESULT>(slot.c_str());
}

LRESULT wideAnswer(std::wstring& slot, const std::string& utf8) {
    // UTF-8 to wide characters; a broken sequence gives U+FFFD.
    slot.clear();
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + size_t(n) > utf8.size()) {
            slot.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + size_t(k)]) & 0x3F);
        slot.push_back(static_cast<wchar_t>(cp));
        i += size_t(n);
    }
    return reinterpret_cast<LRESULT>(slot.c_str());
}

std::string programFolder() {
    // The folder of the executable; plug-ins' settings live below it.
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    std::string s(path, size_t(n));
    return s.substr(0, s.rfind('/') + 1);
}

// IPC_GETINFO: sample rate, bit rate, channels for wParam 0, 1, 2.
LRESULT streamFigure(WPARAM which, uint32_t sampleRate, uint32_t bitRate, uint32_t channels) {
    switch (which) {
        case 0:
            return LRESULT(sampleRate);
        case 1:
            return LRESULT(bitRate);
        case 2:
            return LRESULT(channels);
        default:
            return 0;
    }
}

// IPC_GETOUTPUTTIME: the position (wParam 0, -1 when there is none) or the length in
// seconds (wParam 1).
LRESULT outputTime(WPARAM which, bool hasPosition, uint32_t positionMs, uint32_t durationMs) {
    if (which == 0) return hasPosition ? LRESULT(positionMs) : -1;
    return which == 1 ? LRESULT(durationMs / 1000u) : 0;
}

LRESULT isPlaying(TPlayerMode mode) {
    return mode == plmPlaying ? 1 : mode == plmPaused ? 3 : 0;
}

}  // namespace

int CopyAnswerText(const std::string& text, char* buffer, WPARAM size) {
    if (buffer == nullptr || size == 0) return 0;
    size_t n = std::min<size_t>(text.size(), size - 1);
    // Never end inside a UTF-8 character.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return int(n);
}

std::string PluginIniPath() {
    return programFolder() + "Plugins/plugin.ini";
}

std::string EmulatedWindowText(const std::string& title) {
    return title + " - Winamp";
}

void AnswerExtendedFileInfo(extendedFileInfoStruct* request) {
    if (request == nullptr || request->metadata == nullptr) return;
    std::string file = request->filename ? request->filename : "";
    const auto first = file.find_first_not_of(" \t\r\n");
    file = first == std::string::npos ? "" : file;
    const std::string name = request->metadata;
    if (name != "title" && name != "artist") return;
    std::string& slot = answers().extended;
    if (file.empty()) {
        if (request->retlen == 0) return;
        slot = name == "title" ? kSampleTitle : kSampleArtist;
    } else {
        slot.clear();  // the plug-ins' playlist has no titles
    }
    request->ret = slot.data();
}

LRESULT EmulatedWindowIPC(WPARAM wParam, LPARAM ipc) {
    TPluginHost& host = PluginHost();
    const THostMirror& mirror = host.mirror();
    const TStreamInfo& info = mirror.streamInfo();
    switch (ipc) {
        case IPC_GETVERSION:
            return kEmulatedVersion;
        case IPC_ISPLAYING:
            return isPlaying(mirror.playerMode());
        case IPC_GETOUTPUTTIME: {
            const bool playing = mirror.playerMode() == plmPlaying;
            return outputTime(wParam, playing, playing ? host.currentPositionMs() : 0,
                              uint32_t(info.Duration));
        }
        case IPC_GETLISTLENGTH:
            return 0;
        case IPC_GETLISTPOS:
            return -1;
        case IPC_GETINFO:
            return streamFigure(wParam, info.SampleRate, info.BitRate, info.Channels);
        case IPC_GETPLAYLISTFILE:
        case IPC_GETPLAYLISTTITLE:
            return textAnswer(answers().empty, "");
        case IPC_GETWND:
            return wParam == 1   ? reinterpret_cast<LRESULT>(mirror.winampWindow())
                   : wParam == 2 ? reinterpret_cast<LRESULT>(host.miniBrowserWindow())
                                 : 0;
        case IPC_GET_EXTENDED_FILE_INFO:
            AnswerExtendedFileInfo(reinterpret_cast<extendedFileInfoStruct*>(wParam));
            return 1;
        case IPC_GETINIFILE:
            return textAnswer(answers().iniPath, PluginIniPath());
        case IPC_GET_API_SERVICE:
            return reinterpret_cast<LRESULT>(ServiceObject());
        default:
            // IPC_MBOPEN, IPC_GET_GENSKINBITMAP and IPC_GET_EMBEDIF need the drawer
            // libraries, which are absent: the answers of a missing library.
            return 0;
    }
}

LRESULT EngineWindowIPC(WPARAM, LPARAM ipc) {
    switch (ipc) {
        case IPC_GETVERSION:
            return kPlayerVersion;
        case IPC_GETLISTPOS:
            return -1;
        case IPC_GETPLAYLISTFILE:
            return textAnswer(answers().empty, "");
        case IPC_GETINIFILE:
            return textAnswer(answers().iniPath, PluginIniPath());
        case IPC_GET_API_SERVICE:
            return reinterpret_cast<LRESULT>(ServiceObject());
        default:
            return 0;
    }
}

LRESULT MainWindowIPC(const TMainWindowView& view, WPARAM wParam, LPARAM ipc) {
    const TChannelAttrb& a = view.attrs;
    switch (ipc) {
        case IPC_GETVERSION:
            return kPlayerVersion;
        case IPC_ISPLAYING:
            return isPlaying(view.mode);
        case IPC_GETOUTPUTTIME:
            return outputTime(wParam, view.mode == plmPlaying || view.mode == plmPaused, view.position,
                              a.Duration);
        case IPC_GETLISTLENGTH:
            return 0;
        case IPC_GETLISTPOS:
            return -1;
        case IPC_GETINFO:
            return streamFigure(wParam, a.SampleRate, a.BitRate, a.Channels);
        case IPC_GETPLAYLISTFILE:
        case IPC_GETPLAYLISTTITLE:
            return textAnswer(answers().empty, "");
        case IPC_GETPLAYLISTTITLEW:
        case IPC_GETPLAYLISTFILEW:
            return wideAnswer(answers().emptyWide, "");
        case IPC_GETINIFILE:
            return textAnswer(answers().iniPath, PluginIniPath());
        case IPC_GET_API_SERVICE:
            return reinterpret_cast<LRESULT>(ServiceObject());
        case IPC_GET_PLAYING_FILENAME:
            return wideAnswer(answers().fileNameWide, a.FileName);
        case IPC_GET_PLAYING_TITLE:
            return wideAnswer(answers().titleWide, a.Title);
        default:
            return 0;
    }
}

std::string MainWindowText(const std::string& title) {
    // The playlist position is always 0: plug-ins see no playlist.
    if (title.size() < 3) return "0. VAVIVerovu - Winamp";
    return "0. " + title + " - Winamp";
}

LRESULT MainWindowTextLength(const std::string& title) {
    return title.empty() ? 10 : LRESULT(title.size() + 7);
}

bool MainWindowCommand(TPlayerMode mode, WPARAM command, int& request, LRESULT& answer) {
    request = -1;
    answer = 0;
    const bool playing = mode == plmPlaying;
    switch (command) {
        case WINAMP_BUTTON1:
        case WINAMP_BUTTON5:
            return true;
        case WINAMP_BUTTON2:
            if (mode == plmStopped || mode == plmPaused) {
                request = 6;
                answer = 1;
            }
            return true;
        case WINAMP_BUTTON3:
            if (playing) {
                request = 7;
                answer = 3;
            }
            return true;
        case WINAMP_BUTTON4:
            if (playing) request = 8;
            return true;
        case WINAMP_VOLUMEUP:
            request = 0;
            return true;
        case WINAMP_VOLUMEDOWN:
            request = 1;
            return true;
        case WINAMP_FFWD5S:
        case WINAMP_BUTTON5_SHIFT:
            if (playing) request = 2;
            return true;
        case WINAMP_REW5S:
        case WINAMP_BUTTON4_SHIFT:
            if (playing) request = 3;
            return true;
        default:
            return false;
    }
}

std::string CopyDataText(const COPYDATASTRUCT* data) {
    if (data == nullptr || data->lpData == nullptr || data->cbData == 0) return {};
    const char* text = static_cast<const char*>(data->lpData);
    return std::string(text, strnlen(text, data->cbData));
}

// ---------------------------------------------------------------------------
// The service object: its first word points to a table whose first entry is the
// dispatch function. It answers as the service manager until a plug-in asks it for
// the language interface, and as that interface afterwards.

namespace {

using TDispatch = int (*)(void*, int, void*, void**, int);
struct TServiceTable {
    TDispatch dispatch;
};
struct TServiceObject {
    const TServiceTable* table;
    bool languageRole;
};
const TServiceTable kServiceTable{&ServiceDispatch};
TServiceObject& service() {
    static TServiceObject object{&kServiceTable, false};  // user-interface thread only
    return object;
}

// {30AED4E5-EF10-4277-8D49-27AB5570E891} as its 16 bytes in memory.
constexpr unsigned char kLanguageGuid[16] = {0xE5, 0xD4, 0xAE, 0x30, 0x10, 0xEF, 0x77, 0x42,
                                             0x8D, 0x49, 0x27, 0xAB, 0x55, 0x70, 0xE8, 0x91};

constexpr int kMsgFetchService = 50;
constexpr int kMsgLangHandle = 30, kMsgLangSelf = 300;

void store(void* retval, void* value) {
    if (retval) *static_cast<void**>(retval) = value;
}

}  // namespace

void* ServiceObject() {
    service().languageRole = false;
    return &service();
}

int ServiceDispatch(void* self, int msg, void* retval, void** params, int nparams) {
    (void)self;  // as plug-ins expect, the one object answers whatever they call
    TServiceObject& object = service();
    if (!object.languageRole) {
        if (msg != kMsgFetchService || nparams != 1 || params == nullptr || params[0] == nullptr) return 0;
        if (std::memcmp(params[0], kLanguageGuid, sizeof kLanguageGuid) != 0) return 0;
        object.languageRole = true;
        store(retval, &object);
        return 1;
    }
    switch (msg) {
        case kMsgLangHandle:
            if (nparams != 2) return 0;
            store(retval, reinterpret_cast<void*>(uintptr_t{0xDEADC0DE}));
            return 1;
        case kMsgLangSelf:
            store(retval, &object);
            return 1;
        default:
            // Among them the resources of a Windows module (strings, dialogs, menus):
            // there are none here. A failed call, not a made-up success.
            return 0;
    }
}

}  // namespace quillet::plugins
