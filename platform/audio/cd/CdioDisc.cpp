// libbasscd-cdio.so: discs and disc images read through libcdio.
#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/cd/CdBackend.h"

namespace qcd {

namespace {

// Sectors read per request: 16 sectors is 213 ms of sound.
constexpr uint32_t kReadSectors = 16;
// A sector that cannot be read is tried again this often, then played as
// silence so a scratch does not end the track.
constexpr int kReadRetries = 3;
// A disc holds at most 99 tracks.
constexpr uint32_t kMaxTracks = 99;

void quietOnce() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler([](cdio_log_level_t, const char*) {}); });
}

struct CdioCloser {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

bool endsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    }
    return true;
}

CdioPtr openDevice(const std::string& device) {
    quietOnce();
    driver_id_t driver = DRIVER_DEVICE;
    if (endsWith(device, ".cue"))
        driver = DRIVER_BINCUE;
    else if (endsWith(device, ".toc"))
        driver = DRIVER_CDRDAO;
    else if (endsWith(device, ".nrg"))
        driver = DRIVER_NRG;
    return CdioPtr(cdio_open(device.c_str(), driver));
}

struct Track {
    lsn_t start = 0;
    uint32_t sectors = 0;
    bool audio = false;
};

class TrackDecoder final : public qaudio::Decoder {
  public:
    TrackDecoder(CdioPtr cdio, Track track) : m_cdio(std::move(cdio)), m_track(track) {}
    uint32_t sampleRate() const override { return 44100; }
    uint32_t channels() const override { return 2; }
    uint32_t channelType() const override { return BASS_CTYPE_STREAM_CD; }
    std::optional<uint64_t> lengthFrames() const override {
        return uint64_t(m_track.sectors) * kSectorFrames;
    }
    uint64_t read(float* out, uint64_t frames) override {
        const uint64_t length = uint64_t(m_track.sectors) * kSectorFrames;
        uint64_t done = 0;
        while (done < frames && m_position < length) {
            const uint32_t sector = uint32_t(m_position / kSectorFrames);
            if (!fill(sector)) break;
            const uint64_t bufferStart = uint64_t(m_bufferSector) * kSectorFrames;
            const uint64_t inBuffer = m_buffer.size() / 2;  // frames
            const uint64_t offset = m_position - bufferStart;
            const uint64_t n = std::min({frames - done, inBuffer - offset, length - m_position});
            for (uint64_t i = 0; i < n * 2; ++i)
                out[done * 2 + i] = float(m_buffer[offset * 2 + i]) / 32768.0f;
            done += n;
            m_position += n;
        }
        return done;
    }
    bool seek(uint64_t frame) override {
        if (frame > uint64_t(m_track.sectors) * kSectorFrames) return false;
        m_position = frame;
        return true;
    }
    std::optional<std::string_view> tags(uint32_t) const override { return std::nullopt; }
    uint64_t fileBytePosition() const override { return m_position * 4; }
    uint64_t fileSize() const override { return uint64_t(m_track.sectors) * kSectorBytes; }

  private:
    // Makes the buffer hold `sector` (relative to the track); false when the
    // disc is gone.
    bool fill(uint32_t sector) {
        if (!m_buffer.empty() && sector >= m_bufferSector &&
            sector < m_bufferSector + m_buffer.size() / 2 / kSectorFrames)
            return true;
        const uint32_t count = std::min(kReadSectors, m_track.sectors - sector);
        m_buffer.assign(size_t(count) * kSectorBytes / 2, 0);
        m_bufferSector = sector;
        if (cdio_read_audio_sectors(m_cdio.get(), m_buffer.data(), m_track.start + lsn_t(sector), count) ==
            DRIVER_OP_SUCCESS)
            return true;
        // Sector by sector: what cannot be read stays silent.
        int unreadable = 0;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t* at = m_buffer.data() + size_t(i) * kSectorBytes / 2;
            bool ok = false;
            for (int tries = 0; tries < kReadRetries && !ok; ++tries)
                ok = cdio_read_audio_sector(m_cdio.get(), at, m_track.start + lsn_t(sector + i)) ==
                     DRIVER_OP_SUCCESS;
            if (!ok) {
                std::memset(at, 0, kSectorBytes);
                ++unreadable;
            }
        }
        // Nothing at all could be read: the data are missing (a truncated
        // image, a disc taken out), so the track ends here.
        return unreadable < int(count);
    }

    CdioPtr m_cdio;
    Track m_track;
    uint64_t m_position = 0;  // frames
    std::vector<int16_t> m_buffer;
    uint32_t m_bufferSector = 0;
};

class CdioDisc final : public Disc {
  public:
    static std::unique_ptr<CdioDisc> open(const std::string& device) {
        CdioPtr cdio = openDevice(device);
        if (!cdio) return nullptr;
        const track_t first = cdio_get_first_track_num(cdio.get());
        const track_t count = cdio_get_num_tracks(cdio.get());
        if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 || count > kMaxTracks)
            return nullptr;
        auto disc = std::make_unique<CdioDisc>();
        disc->m_device = device;
        for (track_t i = 0; i < count; ++i) {
            const track_t number = track_t(first + i);
            Track t;
            t.start = cdio_get_track_lsn(cdio.get(), number);
            const lsn_t next = cdio_get_track_lsn(
                cdio.get(), track_t(number + 1 > first + count - 1 ? CDIO_CDROM_LEADOUT_TRACK : number + 1));
            t.audio = cdio_get_track_format(cdio.get(), number) == TRACK_FORMAT_AUDIO;
            if (t.start == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN || next <= t.start) {
                t.audio = false;
            } else {
                t.sectors = uint32_t(next - t.start);
            }
            disc->m_tracks.push_back(t);
        }
        return disc;
    }
    uint32_t trackCount() const override { return uint32_t(m_tracks.size()); }
    bool isAudio(uint32_t track) const override { return track < m_tracks.size() && m_tracks[track].audio; }
    uint32_t trackSectors(uint32_t track) const override {
        return track < m_tracks.size() ? m_tracks[track].sectors : 0;
    }
    std::unique_ptr<qaudio::Decoder> openTrack(uint32_t track) const override {
        if (!isAudio(track)) return nullptr;
        CdioPtr cdio = openDevice(m_device);
        if (!cdio) return nullptr;
        return std::make_unique<TrackDecoder>(std::move(cdio), m_tracks[track]);
    }

  private:
    std::string m_device;
    std::vector<Track> m_tracks;
};

}  // namespace

}  // namespace qcd

extern "C" __attribute__((visibility("default"))) qcd::Disc* qcd_open_disc(const char* device) {
    try {
        return device ? qcd::CdioDisc::open(device).release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
