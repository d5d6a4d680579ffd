// The exported C entry points. Each one checks its arguments, finds its
// channel, calls the library and sets the calling thread's error code. No
// exception leaves the library: a failed allocation is BASS_ERROR_MEM.
#include <dlfcn.h>

#include <cmath>
#include <new>

#include "platform/audio/bass.h"
#include "platform/audio/bass_plugin.h"
#include "platform/audio/core/Error.h"
#include "platform/audio/core/Library.h"

using namespace qaudio;

namespace {

constexpr DWORD kVersion = 0x02040001;  // 2.4.0.1

Library& lib() {
    return Library::instance();
}

// Runs `body`, turning exceptions into error codes and `failure`.
template <typename T, typename F>
T guarded(T failure, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        setError(BASS_ERROR_MEM);
    } catch (...) {
        setError(BASS_ERROR_UNKNOWN);
    }
    return failure;
}

// Returns TRUE and clears the error when `err` is BASS_OK, else FALSE.
BOOL result(int err) {
    setError(err);
    return err == BASS_OK ? TRUE : FALSE;
}

template <typename T>
T valueOr(int err, T value, T failure) {
    setError(err);
    return err == BASS_OK ? value : failure;
}

}  // namespace

extern "C" {

BASSDEF(DWORD) BASS_GetVersion(void) {
    return kVersion;
}

BASSDEF(int) BASS_ErrorGetCode(void) {
    return lastError();
}

BASSDEF(BOOL) BASS_SetConfig(DWORD option, DWORD value) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().setConfig(option, value)); });
}

BASSDEF(BOOL) BASS_Init(int device, DWORD freq, DWORD, void*, const void*) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().init(device, freq)); });
}

BASSDEF(BOOL) BASS_GetInfo(BASS_INFO* info) {
    if (!info) return failBool(BASS_ERROR_ILLPARAM);
    return guarded<BOOL>(FALSE, [&] { return result(lib().getInfo(*info)); });
}

BASSDEF(BOOL) BASS_Free(void) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().free()); });
}

BASSDEF(HPLUGIN) BASS_PluginLoad(const char* file, DWORD flags) {
    if (!file || (flags & BASS_UNICODE)) return failHandle(BASS_ERROR_FILEOPEN);
    return guarded<HPLUGIN>(0, [&] {
        HPLUGIN h = 0;
        const int status = lib().loadPlugin(file, h);
        return valueOr<HPLUGIN>(status, h, 0);
    });
}

BASSDEF(BOOL) BASS_PluginFree(HPLUGIN handle) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().freePlugin(handle)); });
}

__attribute__((visibility("default"))) HSTREAM qaudio_stream_create(std::unique_ptr<Decoder>* decoder,
                                                                    const char* name, DWORD flags,
                                                                    void* keepAlive) {
    std::shared_ptr<void> addon;
    if (keepAlive) addon = std::shared_ptr<void>(keepAlive, [](void* h) { dlclose(h); });
    if (!decoder || !*decoder) return failHandle(BASS_ERROR_ILLPARAM);
    return guarded<HSTREAM>(0, [&] {
        OpenedDecoder opened{std::move(*decoder), 0, std::move(addon)};
        const bool music = BASS_CTYPE_IS_MUSIC(opened.decoder->channelType());
        DWORD handle = 0;
        const int status = lib().createDecoderStream(std::move(opened), name ? name : "", flags, music, handle);
        return valueOr<HSTREAM>(status, handle, 0);
    });
}

__attribute__((visibility("default"))) void qaudio_set_error(int code) {
    setError(code);
}

BASSDEF(HSTREAM) BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC proc, void* user) {
    return guarded<HSTREAM>(0, [&] {
        DWORD h = 0;
        const int status = lib().createUserStream(freq, chans, flags, proc, user, h);
        return valueOr<HSTREAM>(status, h, 0);
    });
}

BASSDEF(HSTREAM) BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    if (!file) return failHandle(BASS_ERROR_FILEOPEN);
    return guarded<HSTREAM>(0, [&] {
        DWORD h = 0;
        int err;
        if (mem) {
            err =
                lib().createMemoryStream(static_cast<const uint8_t*>(file) + offset, length, flags, false, h);
        } else if (offset != 0 || length != 0) {
            err = BASS_ERROR_NOTAVAIL;  // a part of a file is not offered
        } else {
            err = lib().createFileStream(static_cast<const char*>(file), flags, false, h);
        }
        return valueOr<HSTREAM>(err, h, 0);
    });
}

BASSDEF(HSTREAM) BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC proc, void* user) {
    if (!url) return failHandle(BASS_ERROR_FILEOPEN);
    return guarded<HSTREAM>(0, [&] {
        DWORD h = 0;
        const int err = lib().createUrlStream(url, offset, flags, proc, user, h);
        return valueOr<HSTREAM>(err, h, 0);
    });
}

BASSDEF(BOOL) BASS_StreamFree(HSTREAM handle) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().freeChannel(handle, false)); });
}

BASSDEF(QWORD) BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    return guarded<QWORD>(QWORD(-1), [&] {
        auto c = lib().find(handle);
        if (!c || c->isMusic()) return failQword(BASS_ERROR_HANDLE);
        QWORD pos = 0;
        const int status = c->filePosition(mode, pos);
        return valueOr<QWORD>(status, pos, QWORD(-1));
    });
}

BASSDEF(HMUSIC) BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD) {
    if (!file) return failHandle(BASS_ERROR_FILEOPEN);
    return guarded<HMUSIC>(0, [&] {
        DWORD h = 0;
        int err;
        if (mem) {
            err =
                lib().createMemoryStream(static_cast<const uint8_t*>(file) + offset, length, flags, true, h);
        } else if (offset != 0 || length != 0) {
            err = BASS_ERROR_NOTAVAIL;
        } else {
            err = lib().createFileStream(static_cast<const char*>(file), flags, true, h);
        }
        return valueOr<HMUSIC>(err, h, 0);
    });
}

BASSDEF(BOOL) BASS_MusicFree(HMUSIC handle) {
    return guarded<BOOL>(FALSE, [&] { return result(lib().freeChannel(handle, true)); });
}

BASSDEF(BOOL) BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    if (!info) return failBool(BASS_ERROR_ILLPARAM);
    auto c = lib().find(handle);
    if (!c) return failBool(BASS_ERROR_HANDLE);
    c->info(*info);
    return result(BASS_OK);
}

BASSDEF(const char*) BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    return guarded<const char*>(nullptr, [&]() -> const char* {
        auto c = lib().find(handle);
        if (!c) {
            setError(BASS_ERROR_HANDLE);
            return nullptr;
        }
        const char* t = c->tags(tags);
        setError(t ? BASS_OK : BASS_ERROR_NOTAVAIL);
        return t;
    });
}

BASSDEF(DWORD) BASS_ChannelIsActive(DWORD handle) {
    auto c = lib().find(handle);
    if (!c) {
        setError(BASS_ERROR_HANDLE);
        return BASS_ACTIVE_STOPPED;
    }
    setError(BASS_OK);
    return c->activeState();
}

BASSDEF(BOOL) BASS_ChannelPlay(DWORD handle, BOOL restart) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        return result(c ? c->play(restart != FALSE) : BASS_ERROR_HANDLE);
    });
}

BASSDEF(BOOL) BASS_ChannelPause(DWORD handle) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        return result(c ? c->pause() : BASS_ERROR_HANDLE);
    });
}

BASSDEF(BOOL) BASS_ChannelStop(DWORD handle) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        return result(c ? c->stop() : BASS_ERROR_HANDLE);
    });
}

BASSDEF(QWORD) BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    auto c = lib().find(handle);
    if (!c) return failQword(BASS_ERROR_HANDLE);
    if (mode != BASS_POS_BYTE) return failQword(BASS_ERROR_NOTAVAIL);
    QWORD bytes = 0;
    const int status = c->length(bytes);
    return valueOr<QWORD>(status, bytes, QWORD(-1));
}

BASSDEF(QWORD) BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    auto c = lib().find(handle);
    if (!c) return failQword(BASS_ERROR_HANDLE);
    if (mode != BASS_POS_BYTE) return failQword(BASS_ERROR_NOTAVAIL);
    QWORD bytes = 0;
    const int status = c->position(bytes);
    return valueOr<QWORD>(status, bytes, QWORD(-1));
}

BASSDEF(BOOL) BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        if (!c) return failBool(BASS_ERROR_HANDLE);
        if (mode != BASS_POS_BYTE) return failBool(BASS_ERROR_NOTAVAIL);
        return result(c->setPosition(pos));
    });
}

BASSDEF(double) BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    auto c = lib().find(handle);
    if (!c) {
        setError(BASS_ERROR_HANDLE);
        return -1.0;
    }
    if (pos == QWORD(-1)) {
        setError(BASS_ERROR_ILLPARAM);
        return -1.0;
    }
    setError(BASS_OK);
    const auto& f = c->format();
    return double(pos / f.bytesPerFrame()) / double(f.rate);
}

BASSDEF(QWORD) BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    auto c = lib().find(handle);
    if (!c) return failQword(BASS_ERROR_HANDLE);
    // Also refuses NaN and values whose byte count would not fit.
    if (!(pos >= 0.0) || pos > 1e9) return failQword(BASS_ERROR_ILLPARAM);
    setError(BASS_OK);
    const auto& f = c->format();
    return QWORD(std::floor(pos * f.rate)) * f.bytesPerFrame();
}

BASSDEF(DWORD) BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return guarded<DWORD>(DWORD(-1), [&] {
        auto c = lib().find(handle);
        if (!c) return failDword(BASS_ERROR_HANDLE);
        DWORD n = 0;
        const int status = c->getData(buffer, length, n);
        return valueOr<DWORD>(status, n, DWORD(-1));
    });
}

BASSDEF(BOOL) BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        if (!c) return failBool(BASS_ERROR_HANDLE);
        if (std::isnan(value)) return failBool(BASS_ERROR_ILLPARAM);
        return result(c->setAttribute(attrib, value));
    });
}

BASSDEF(BOOL) BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time) {
    return guarded<BOOL>(FALSE, [&] {
        auto c = lib().find(handle);
        if (!c) return failBool(BASS_ERROR_HANDLE);
        if (std::isnan(value)) return failBool(BASS_ERROR_ILLPARAM);
        return result(c->slideAttribute(attrib, value, time));
    });
}

BASSDEF(HSYNC) BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, void* user) {
    return guarded<HSYNC>(0, [&] {
        auto c = lib().find(handle);
        if (!c) return failHandle(BASS_ERROR_HANDLE);
        HSYNC s = 0;
        const int status = c->setSync(type, param, proc, user, s);
        return valueOr<HSYNC>(status, s, 0);
    });
}

BASSDEF(BOOL) BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
    auto c = lib().find(handle);
    if (!c) return failBool(BASS_ERROR_HANDLE);
    return result(c->removeSync(sync));
}

}  // extern "C"
