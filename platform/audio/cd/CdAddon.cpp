// libbasscd.so: the CD audio add-on's entry points.
//
// The drive list is read without libcdio (the program lists the drives at
// every start); the disc-reading half, libbasscd-cdio.so, is loaded from this
// library's folder when a disc is first read. Track streams become channels
// of libbass.so, which this library links against.
#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/bass_plugin.h"
#include "platform/audio/basscd.h"
#include "platform/audio/cd/CdBackend.h"
#include "platform/audio/cd/CdDrives.h"

namespace {

std::string ownPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownPath), &info) || !info.dli_fname) return "";
    return info.dli_fname;
}

class Addon {
  public:
    // The drive list, read at the first call and kept: the letters must not
    // move while the program runs.
    const std::vector<qcd::Drive>& drives() {
        std::call_once(m_drivesOnce, [this] { m_drives = qcd::listDrives(); });
        return m_drives;
    }

    // The disc in drive `drive`; nullptr with the error code set.
    std::unique_ptr<qcd::Disc> openDisc(DWORD drive) {
        if (drive >= drives().size()) return fail(BASS_ERROR_DEVICE);
        if (!loadBackend()) return fail(BASS_ERROR_NOTAVAIL);
        std::unique_ptr<qcd::Disc> disc(m_openDisc(m_drives[drive].device.c_str()));
        if (!disc) return fail(BASS_ERROR_NOCD);
        return disc;
    }

  private:
    static std::unique_ptr<qcd::Disc> fail(int code) {
        qaudio_set_error(code);
        return nullptr;
    }
    // The disc-reading half is never unloaded: at exit, this library's
    // destructors run before the core's, which may still free track channels.
    bool loadBackend() {
        std::call_once(m_backendOnce, [this] {
            const std::string self = ownPath();
            const std::string path = self.substr(0, self.rfind('/') + 1) + QCD_BACKEND_LIBRARY;
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) return;
            m_openDisc = reinterpret_cast<qcd_open_disc_t>(dlsym(handle, "qcd_open_disc"));
            if (!m_openDisc) {
                dlclose(handle);
                return;
            }
            m_backend = handle;
        });
        return m_backend != nullptr;
    }

    std::once_flag m_drivesOnce;
    std::vector<qcd::Drive> m_drives;
    std::once_flag m_backendOnce;
    void* m_backend = nullptr;
    qcd_open_disc_t m_openDisc = nullptr;
};

Addon g_addon;

// Runs `body`; an exception (out of memory) becomes BASS_ERROR_MEM.
template <typename T, typename F>
T guarded(T failure, F&& body) {
    try {
        return body();
    } catch (...) {
        qaudio_set_error(BASS_ERROR_MEM);
        return failure;
    }
}

HSTREAM createTrackStream(DWORD drive, DWORD track, DWORD flags, const char* name) {
    auto disc = g_addon.openDisc(drive);
    if (!disc) return 0;
    if (track >= disc->trackCount() || !disc->isAudio(track)) {
        qaudio_set_error(BASS_ERROR_CDTRACK);
        return 0;
    }
    std::unique_ptr<qaudio::Decoder> decoder = disc->openTrack(track);
    if (!decoder) {
        qaudio_set_error(BASS_ERROR_NOCD);
        return 0;
    }
    // The channel keeps this library (and so the disc-reading half) loaded
    // for as long as it reads the disc.
    void* self = dlopen(ownPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    return qaudio_stream_create(&decoder, name, flags, self);
}

}  // namespace

#define CDDEF(ret) extern "C" __attribute__((visibility("default"))) ret

CDDEF(BOOL) BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        const auto& drives = g_addon.drives();
        if (drive >= drives.size()) {
            qaudio_set_error(BASS_ERROR_DEVICE);
            return FALSE;
        }
        if (!info) {
            qaudio_set_error(BASS_ERROR_ILLPARAM);
            return FALSE;
        }
        const qcd::Drive& d = drives[drive];
        *info = BASS_CD_INFO{};
        info->vendor = d.vendor.c_str();
        info->product = d.product.c_str();
        info->rev = d.rev.c_str();
        info->letter = qcd::kFirstLetter + int(drive);
        info->rwflags = d.rwflags;
        info->canopen = d.canOpen;
        info->canlock = d.canLock;
        info->maxspeed = d.maxSpeedKBs;
        qaudio_set_error(BASS_OK);
        return TRUE;
    });
}

CDDEF(BOOL) BASS_CD_IsReady(DWORD drive) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (!g_addon.openDisc(drive)) return FALSE;
        qaudio_set_error(BASS_OK);
        return TRUE;
    });
}

CDDEF(DWORD) BASS_CD_GetTracks(DWORD drive) {
    return guarded<DWORD>(DWORD(-1), [&]() -> DWORD {
        auto disc = g_addon.openDisc(drive);
        if (!disc) return DWORD(-1);
        qaudio_set_error(BASS_OK);
        return disc->trackCount();
    });
}

CDDEF(DWORD) BASS_CD_GetTrackLength(DWORD drive, DWORD track) {
    return guarded<DWORD>(DWORD(-1), [&]() -> DWORD {
        auto disc = g_addon.openDisc(drive);
        if (!disc) return DWORD(-1);
        if (track >= disc->trackCount() || !disc->isAudio(track)) {
            qaudio_set_error(BASS_ERROR_CDTRACK);
            return DWORD(-1);
        }
        qaudio_set_error(BASS_OK);
        return disc->trackSectors(track) * qcd::kSectorBytes;
    });
}

CDDEF(HSTREAM) BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) {
    return guarded<HSTREAM>(0, [&] {
        const std::string name =
            std::string(1, char('A' + qcd::kFirstLetter + int(drive % qcd::kMaxDrives))) + ":/Track" +
            (track < 9 ? "0" : "") + std::to_string(track + 1) + ".cda";
        return createTrackStream(drive, track, flags, name.c_str());
    });
}

CDDEF(HSTREAM) BASS_CD_StreamCreateFile(const char* file, DWORD flags) {
    return guarded<HSTREAM>(0, [&]() -> HSTREAM {
        uint32_t drive = 0, track = 0;
        if (!file || !qcd::parseTrackFileName(file, drive, track)) {
            qaudio_set_error(BASS_ERROR_FILEOPEN);
            return 0;
        }
        return createTrackStream(drive, track, flags, file);
    });
}
