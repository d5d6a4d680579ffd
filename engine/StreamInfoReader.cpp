#include "engine/StreamInfoReader.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "engine/bass/Dynamic_Bass.h"
#include "mediainfo/AACfile.h"
#include "mediainfo/ByteSource.h"
#include "mediainfo/MPEGaudio.h"
#include "mediainfo/OggVorbis.h"
#include "mediainfo/WAVfile.h"
#include "mediainfo/WMAfile.h"
#include "platform/text/Text.h"

using namespace mediainfo;

struct TStreamInfoReader::Readers {
    TWAVfile wav;
    TMPEGaudio mpeg;
    TOggVorbis ogg;
    TAACfile aac;
    TWMAfile wma;
};

namespace {


// What a BASS_CD_GetTrackLength failure returns.
constexpr DWORD kCDLengthError = 0xFFFFFFFFu;

// Tracker modules whose title is read from fixed bytes at the file's start:
// extension, offset, length.
struct ModuleTitle {
    std::string_view ext;
    uint32_t offset;
    uint32_t length;
};
constexpr ModuleTitle kModuleTitles[] = {
    {".MOD", 0, 20}, {".MTM", 4, 20}, {".IT", 4, 20}, {".XM", 17, 20}, {".S3M", 0, 28},
};

uint32_t clampU32(uint64_t value) {
    return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : uint32_t(value);
}

uint32_t clampSigned(int64_t value) {
    return value <= 0 ? 0 : clampU32(uint64_t(value));
}

// round(value), kept inside 0..UINT32_MAX: readers of damaged files report
// any number of seconds, and an out-of-range float conversion is undefined.
uint32_t roundU32(double value) {
    if (!(value > 0.0)) return 0;  // also NaN
    if (value >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
    return uint32_t(std::llround(value));
}

uint32_t msOf(double seconds) {
    return roundU32(seconds * 1000.0);
}

std::string baseName(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

uint16_t bitsOfFlags(DWORD flags) {
    if (flags & BASS_SAMPLE_8BITS) return 8;
    if (flags & BASS_SAMPLE_FLOAT) return 32;
    return 16;
}

// Sample rate, channels, format and sample size of an open channel.
void takeChannelInfo(DWORD handle, TStreamInfo& info) {
    BASS_CHANNELINFO ci{};
    if (!Bass.BASS_ChannelGetInfo(handle, &ci)) return;
    info.SampleRate = ci.freq;
    info.Channels = uint16_t(ci.chans);
    info.Format = ci.ctype;
    info.BitsPerSample = bitsOfFlags(ci.flags);
}

// Milliseconds of an open channel's whole length; 0 when the library does not
// know it.
uint32_t channelDuration(DWORD handle) {
    const QWORD bytes = Bass.BASS_ChannelGetLength(handle, BASS_POS_BYTE);
    if (bytes == QWORD(-1)) return 0;
    return msOf(Bass.BASS_ChannelBytes2Seconds(handle, bytes));
}

// Title bytes of a module: up to the first zero byte, without trailing spaces
// and control characters, decoded by the one text rule.
std::string moduleTitle(ByteSource& file, const ModuleTitle& at) {
    std::string bytes = file.readString(at.offset, at.length);
    const size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    while (!bytes.empty() && static_cast<unsigned char>(bytes.back()) <= 0x20) bytes.pop_back();
    return qtext::toUtf8(bytes);
}

template <class Tags>
void takeID3Tags(const Tags& owner, TStreamInfo& info) {
    const TID3v1& v1 = owner.id3v1();
    const TID3v2& v2 = owner.id3v2();
    if (v1.exists()) {
        info.Title = v1.title();
        info.Artist = v1.artist();
        info.Album = v1.album();
        info.Year = v1.year();
        info.Genre = std::string(v1.genreName());
        info.GenreID = v1.genreID();
        info.Track = v1.track();
        info.Comment = v1.comment();
    } else if (v2.exists()) {
        info.Title = v2.title();
        info.Artist = v2.artist();
        info.Album = v2.album();
        info.Year = v2.year();
        info.Genre = v2.genre();
        info.Track = uint8_t(v2.track() & 0xFF);
        info.Comment = v2.comment();
    }
}

bool readWAV(TWAVfile& wav, const std::string& name, TStreamInfo& info, const TStreamInfoContext& context) {
    if (!wav.ReadFromFile(name) || !wav.valid()) return false;
    info.FileSize = clampSigned(wav.fileSize());
    info.SampleRate = wav.sampleRate();
    info.BitsPerSample = wav.bitsPerSample();
    info.Channels = wav.channels();
    // 64-bit: a damaged header may state any sample rate.
    info.BitRate = clampU32(uint64_t(info.SampleRate) * info.BitsPerSample * info.Channels / 1000);
    info.Duration = msOf(wav.duration());
    if (context.BASSReady) {
        // Opened only to learn the channel type the library gives the file.
        const HSTREAM h = Bass.BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0);
        if (h) {
            BASS_CHANNELINFO ci{};
            if (Bass.BASS_ChannelGetInfo(h, &ci)) info.Format = ci.ctype;
            Bass.BASS_StreamFree(h);
        }
    }
    return true;
}

bool readMPEG(TMPEGaudio& mpeg, const std::string& name, TStreamInfo& info) {
    if (!mpeg.ReadFromFile(name) || !mpeg.valid()) return false;
    info.FileSize = clampSigned(mpeg.fileLength());
    info.SampleRate = mpeg.sampleRate();
    info.BitRate = mpeg.bitRate();
    info.Duration = msOf(mpeg.duration());
    takeID3Tags(mpeg, info);
    info.Channels = mpeg.channelModeText() == "Mono" ? 1 : 2;
    const std::string_view layer = mpeg.layerText();
    if (layer == "Layer III") {
        info.Format = BASS_CTYPE_STREAM_MP3;
    } else if (layer == "Layer II") {
        info.Format = BASS_CTYPE_STREAM_MP2;
    } else if (layer == "Layer I") {
        info.Format = BASS_CTYPE_STREAM_MP1;
    }
    return true;
}

bool readOgg(TOggVorbis& ogg, const std::string& name, TStreamInfo& info) {
    if (!ogg.ReadFromFile(name) || !ogg.valid()) return false;
    info.FileSize = clampSigned(ogg.fileSize());
    info.SampleRate = clampSigned(ogg.sampleRate());
    info.BitRate = ogg.bitRate();
    info.Duration = msOf(ogg.duration());
    info.Channels = ogg.channels();
    info.Title = ogg.title();
    info.Artist = ogg.artist();
    info.Album = ogg.album();
    info.Year = ogg.date();
    info.Genre = ogg.genre();
    info.Track = ogg.track();
    info.Comment = ogg.comment();
    info.Format = BASS_CTYPE_STREAM_OGG;
    return true;
}

bool readAAC(TAACfile& aac, const std::string& name, TStreamInfo& info) {
    if (!aac.ReadFromFile(name) || !aac.valid()) return false;
    info.FileSize = clampSigned(aac.fileSize());
    info.SampleRate = clampSigned(aac.sampleRate());
    info.BitRate = clampSigned(aac.bitRate() / 1000);
    info.Duration = msOf(aac.duration());
    info.Channels = aac.channels();
    takeID3Tags(aac, info);
    info.Format = BASS_CTYPE_STREAM_AAC;
    return true;
}

bool readWMA(TWMAfile& wma, const std::string& name, TStreamInfo& info) {
    if (!wma.ReadFromFile(name) || !wma.valid()) return false;
    info.FileSize = clampSigned(wma.fileSize());
    info.SampleRate = clampSigned(wma.sampleRate());
    info.BitRate = clampSigned(wma.bitRate());
    info.Duration = msOf(wma.duration());
    info.Channels = uint16_t(clampSigned(wma.channels()));
    info.Title = wma.title();
    info.Artist = wma.artist();
    info.Album = wma.album();
    info.Year = wma.year();
    info.Genre = wma.genre();
    info.Track = uint8_t(wma.track() & 0xFF);
    info.Comment = wma.comment();
    info.Format = BASS_CTYPE_STREAM_WMA;
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A CD track named like "D:/Track05.cda": the drive from the first letter,
// the track from the two digits before ".cda".
bool readCDTrack(const std::string& name, TStreamInfo& info, const TStreamInfoContext& context) {
    if (!context.CDReady || !BassCD.BASS_CD_GetTrackLength || name.size() < 6) return false;
    // The two characters just before ".cda".
    const char d0 = name[name.size() - 6];
    const char d1 = name[name.size() - 5];
    if (!isDigit(d0) || !isDigit(d1)) return false;
    const int number = (d0 - '0') * 10 + (d1 - '0');
    if (number < 1) return false;  // CD tracks count from 1
    const DWORD track = DWORD(number - 1);
    const char drive = qtext::asciiUpper(name.substr(0, 1))[0];
    for (size_t i = 0; i < context.CDDrives.size(); ++i) {
        const std::string& entry = context.CDDrives[i];
        if (entry.empty() || entry[0] != drive) continue;
        const DWORD bytes = BassCD.BASS_CD_GetTrackLength(DWORD(i), track);
        if (bytes == kCDLengthError) return false;  // no such track or no disc
        info.FileSize = bytes;
        info.SampleRate = 44100;
        info.BitRate = 1411;
        // 176400 bytes a second; 64-bit so a whole disc does not overflow.
        info.Duration = uint32_t(uint64_t(bytes) * 10 / 1764);
        info.Channels = 2;
        info.Track = uint8_t(track);
        info.Format = BASS_CTYPE_STREAM_CD;
        return true;
    }
    return false;
}

bool readModule(const std::string& name, const std::string& ext, TStreamInfo& info,
                const TStreamInfoContext& context) {
    FileSource file(name);
    if (!file.isOpen()) return false;
    info.FileSize = clampU32(file.size());
    for (const ModuleTitle& at : kModuleTitles) {
        if (ext == at.ext) info.Title = moduleTitle(file, at);
    }
    if (ext == ".MO3" || ext == ".UMX") info.Title = qtext::toUtf8(baseName(name));
    if (!context.BASSReady) return false;
    const HMUSIC h = Bass.BASS_MusicLoad(FALSE, name.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    if (!h) return false;
    info.Duration = channelDuration(h);
    takeChannelInfo(h, info);
    info.BitRate = 0;
    Bass.BASS_MusicFree(h);
    return true;
}

// Anything else: whatever the library can open.
bool readByLibrary(const std::string& name, TStreamInfo& info, const TStreamInfoContext& context) {
    uint64_t size = 0;
    {
        FileSource file(name);
        if (!file.isOpen()) return false;
        size = file.size();
    }
    info.FileSize = clampU32(size);
    if (!context.BASSReady) return false;
    const HSTREAM h = Bass.BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0);
    if (!h) return false;
    info.Duration = channelDuration(h);
    takeChannelInfo(h, info);
    const QWORD total = Bass.BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
    // bytes / (ms / 8) = kbit/s; nothing to divide by for a stream of no length.
    info.BitRate =
        (info.Duration > 0 && total != QWORD(-1)) ? roundU32(double(total) / (info.Duration * 0.125)) : 0;
    Bass.BASS_StreamFree(h);
    return true;
}

}  // namespace

std::string StreamFileExt(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == name.size()) return {};
    return qtext::asciiUpper(std::string_view(name).substr(dot));
}

bool ExtInPatterns(const std::string& ext, std::string_view patterns) {
    return !ext.empty() && patterns.find("*" + ext + ";") != std::string_view::npos;
}

std::string NativeFileExts(const TStreamInfoContext& context) {
    if (!context.BASSReady) return {};
    std::string exts = "*.wav;*.mp1;*.mp2;*.mp3;*.ogg;*.aiff";
    exts += ";";
    exts += qtext::asciiLower(kModulePatterns);
    if (context.CDReady) exts += "*.cda;";
    if (context.WMAReady) exts += "*.wma;*.asf;";
    return exts;
}

TStreamInfoReader::TStreamInfoReader() : m_readers(std::make_unique<Readers>()) {}

TStreamInfoReader::~TStreamInfoReader() = default;

bool TStreamInfoReader::Read(const std::string& name, TStreamInfo& info, const TStreamInfoContext& context) {
    info = TStreamInfo(name);
    const std::string ext = StreamFileExt(name);
    if (ext.size() < 3 || ext.size() > 5) return false;
    if (startsWith(name, "http:") || startsWith(name, "mms:") || startsWith(name, "ftp:")) return false;
    // The library is only called when it is loaded and initialised.
    const bool bassUsable = context.BASSReady && Bass.BASS_StreamCreateFile != nullptr;
    TStreamInfoContext ctx = context;
    ctx.BASSReady = bassUsable;

    Readers& r = *m_readers;
    bool result = false;
    if (ext == ".WAV") {
        result = readWAV(r.wav, name, info, ctx);
    } else if (ext == ".MP1" || ext == ".MP2" || ext == ".MP3") {
        result = readMPEG(r.mpeg, name, info);
    } else if (ext == ".OGG") {
        result = readOgg(r.ogg, name, info);
    } else if (ext == ".AAC") {
        result = readAAC(r.aac, name, info);
    } else if (ext == ".WMA" || ext == ".ASF") {
        result = readWMA(r.wma, name, info);
    } else if (ext == ".CDA") {
        result = readCDTrack(name, info, ctx);  // false without the CD add-on
    } else if (ExtInPatterns(ext, kModulePatterns)) {
        result = readModule(name, ext, info, ctx);
    } else if (ExtInPatterns(ext, kMidiPatterns)) {
        result = false;
    } else {
        result = readByLibrary(name, info, ctx);
    }
    if (result && info.Title.empty()) info.Title = qtext::toUtf8(baseName(name));
    return result;
}
