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

// round(value), kept inside 0..UINT32_MAX: readers of damaged files report
// any number of seconds, and an out-of-range float conversion is undefined.
uint32_t roundU32(double value) {
    if (!(value > 0.0)) return 0;  // also NaN
    if (value >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
    return uint32_t(std::llround(value));
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
    return millisecondsOf(Bass.BASS_ChannelBytes2Seconds(handle, bytes));
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

// The text fields of a reader's tags.
void takeTags(const TTagFields& t, TStreamInfo& info) {
    info.Title = t.title;
    info.Artist = t.artist;
    info.Album = t.album;
    info.Year = t.year;
    info.Genre = t.genre;
    info.GenreID = t.genreID;
    info.Track = uint8_t(t.track & 0xFF);  // the low byte of a wider number
    info.Comment = t.comment;
}

// The technical data and the text fields a header reader gives.
void takeHeader(const TStreamHeaderReader& reader, TStreamInfo& info) {
    const TAudioProperties p = reader.audioProperties();
    info.FileSize = clampU32(p.fileSize);
    info.SampleRate = p.sampleRate;
    info.BitRate = p.bitRate;
    info.Duration = p.duration;
    info.Channels = p.channels;
    takeTags(reader.tagFields(), info);
}

// What one inspection works on.
struct Inspection {
    TStreamInfoReader::Readers& readers;
    const std::string& name;
    const std::string& ext;
    TStreamInfo& info;
    const TStreamInfoContext& context;
};

// Reads the file with `reader`; when its header is valid, takes what it gives.
bool readHeader(TStreamHeaderReader& reader, const Inspection& in) {
    if (!reader.ReadFromFile(in.name) || !reader.valid()) return false;
    takeHeader(reader, in.info);
    return true;
}

bool readWAV(const Inspection& in) {
    TWAVfile& wav = in.readers.wav;
    if (!readHeader(wav, in)) return false;
    in.info.BitsPerSample = wav.bitsPerSample();
    if (in.context.BASSReady) {
        // Opened only to learn the channel type the library gives the file.
        const HSTREAM h = Bass.BASS_StreamCreateFile(FALSE, in.name.c_str(), 0, 0, 0);
        if (h) {
            BASS_CHANNELINFO ci{};
            if (Bass.BASS_ChannelGetInfo(h, &ci)) in.info.Format = ci.ctype;
            Bass.BASS_StreamFree(h);
        }
    }
    return true;
}

bool readMPEG(const Inspection& in) {
    TMPEGaudio& mpeg = in.readers.mpeg;
    if (!readHeader(mpeg, in)) return false;
    const std::string_view layer = mpeg.layerText();
    if (layer == "Layer III") {
        in.info.Format = BASS_CTYPE_STREAM_MP3;
    } else if (layer == "Layer II") {
        in.info.Format = BASS_CTYPE_STREAM_MP2;
    } else if (layer == "Layer I") {
        in.info.Format = BASS_CTYPE_STREAM_MP1;
    }
    return true;
}

// A format whose channel type is fixed.
template <auto Reader, DWORD Format>
bool readFixedFormat(const Inspection& in) {
    if (!readHeader(in.readers.*Reader, in)) return false;
    in.info.Format = Format;
    return true;
}

// WMA: the header as for the other fixed formats, but the duration from the
// WMA add-on's channel when the add-on is ready. The header's estimate (size
// at the maximum bit rate) runs 15 % and more long, and the playlist and the
// properties dialog show this duration as the track's length.
bool readWMA(const Inspection& in) {
    if (!readFixedFormat<&TStreamInfoReader::Readers::wma, BASS_CTYPE_STREAM_WMA>(in)) return false;
    if (in.context.BASSReady && in.context.WMAReady) {
        if (const HSTREAM h = Bass.BASS_StreamCreateFile(FALSE, in.name.c_str(), 0, 0, BASS_STREAM_DECODE)) {
            if (const uint32_t ms = channelDuration(h)) in.info.Duration = ms;
            Bass.BASS_StreamFree(h);
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A CD track named like "D:/Track05.cda": the drive from the first letter,
// the track from the two digits before ".cda".
bool readCDTrack(const Inspection& in) {
    const std::string& name = in.name;
    const TStreamInfoContext& context = in.context;
    TStreamInfo& info = in.info;
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

bool readModule(const Inspection& in) {
    const std::string& name = in.name;
    const std::string& ext = in.ext;
    TStreamInfo& info = in.info;
    FileSource file(name);
    if (!file.isOpen()) return false;
    info.FileSize = clampU32(file.size());
    for (const ModuleTitle& at : kModuleTitles) {
        if (ext == at.ext) info.Title = moduleTitle(file, at);
    }
    if (ext == ".MO3" || ext == ".UMX") info.Title = qtext::toUtf8(baseName(name));
    if (!in.context.BASSReady) return false;
    const HMUSIC h = Bass.BASS_MusicLoad(FALSE, name.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    if (!h) return false;
    info.Duration = channelDuration(h);
    takeChannelInfo(h, info);
    info.BitRate = 0;
    Bass.BASS_MusicFree(h);
    return true;
}

// Anything else: whatever the library can open.
bool readByLibrary(const Inspection& in) {
    const std::string& name = in.name;
    TStreamInfo& info = in.info;
    uint64_t size = 0;
    {
        FileSource file(name);
        if (!file.isOpen()) return false;
        size = file.size();
    }
    info.FileSize = clampU32(size);
    if (!in.context.BASSReady) return false;
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

// An Ogg Vorbis stream the header reader does not take (one of 0.1 s or less, or
// of a channel count it does not know) still plays: the library decides, and the
// reader's comments, when it found them, are kept.
bool readOgg(const Inspection& in) {
    if (readFixedFormat<&TStreamInfoReader::Readers::ogg, BASS_CTYPE_STREAM_OGG>(in)) return true;
    if (!readByLibrary(in) || in.info.Format != BASS_CTYPE_STREAM_OGG) {
        in.info = TStreamInfo(in.name);
        return false;
    }
    takeTags(in.readers.ogg.tagFields(), in.info);
    return true;
}

// MIDI files give no description; their row keeps them from the library's
// generic probe below.
bool notInspected(const Inspection&) {
    return false;
}

// Who inspects a file, by its extension; the first row whose patterns hold
// the extension wins. Anything else is whatever the library can open.
struct FileKind {
    std::string_view patterns;  // "*.EXT;" each, upper case
    bool (*read)(const Inspection&);
};
constexpr FileKind kFileKinds[] = {
    {"*.WAV;", readWAV},
    {"*.MP1;*.MP2;*.MP3;", readMPEG},
    {"*.OGG;", readOgg},
    {"*.AAC;", readFixedFormat<&TStreamInfoReader::Readers::aac, BASS_CTYPE_STREAM_AAC>},
    {"*.WMA;*.ASF;", readWMA},
    {"*.CDA;", readCDTrack},  // false without the CD add-on
    {kModulePatterns, readModule},
    {kMidiPatterns, notInspected},
};

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

    const Inspection in{*m_readers, name, ext, info, ctx};
    bool (*read)(const Inspection&) = readByLibrary;
    for (const FileKind& kind : kFileKinds) {
        if (ExtInPatterns(ext, kind.patterns)) {
            read = kind.read;
            break;
        }
    }
    const bool result = read(in);
    if (result && info.Title.empty()) info.Title = qtext::toUtf8(baseName(name));
    return result;
}
