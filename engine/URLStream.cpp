// The player's network streams: opening a URL as a live stream or a file
// being downloaded, their titles, the end of a download, and the wait for a
// live stream's buffer.
#include "engine/URLStream.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/StreamInfoReader.h"
#include "engine/URLTitles.h"
#include "engine/bass/Dynamic_Bass.h"
#include "mediainfo/ByteSource.h"
#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3Tags.h"
#include "mediainfo/ID3v2.h"
#include "platform/text/Text.h"
#include "platform/win/MessageLayer.h"

using mediainfo::MemorySource;
using mediainfo::TID3v1;
using mediainfo::TID3v2;

namespace {

// The WMA add-on's stream metadata and its metadata syncs.
constexpr DWORD kTagWmaMeta = 11;
constexpr DWORD kSyncWmaChange = 0x10100;
constexpr DWORD kSyncWmaMeta = 0x10101;
// What the WMA add-on reports in this file-position mode: buffering progress in percent.
constexpr DWORD kFilePosWmaBuffer = 1000;
constexpr uint32_t kPrebufferStepMs = 20;
// A live stream whose buffer does not fill in this long is given up.
constexpr auto kPrebufferLimit = std::chrono::seconds(15);
// A live stream's buffer is ready past this share of it.
constexpr QWORD kPrebufferPercent = 75;
constexpr uint32_t kReopenFadeMs = 500;
// An ID3v2 tag handed over by the library is read no further than this.
constexpr size_t kMaxId3v2Bytes = 16 << 20;

bool isWmaType(DWORD ctype) {
    return ctype == BASS_CTYPE_STREAM_WMA || ctype == BASS_CTYPE_STREAM_WMA_MP3;
}

void CALLBACK_DownloadSync(HSYNC, DWORD channel, DWORD, void* user) {
    PostMessage(static_cast<HWND>(user), WM_DOWNLOAD_DONE, channel, 0);
}

// The whole ID3v2 block at `tag`: its size from the header (a syncsafe
// number), plus a footer when the flags say so.
std::string_view id3v2Block(const char* tag) {
    const auto* b = reinterpret_cast<const uint8_t*>(tag);
    if (std::string_view(tag, 3) != "ID3") return {};
    size_t size = 10;
    for (int i = 6; i < 10; ++i) {
        if (b[i] & 0x80) return {};
        size += size_t(b[i]) << (7 * (9 - i));
    }
    if (b[5] & 0x10) size += 10;
    return size <= kMaxId3v2Bytes ? std::string_view(tag, size) : std::string_view();
}

}  // namespace

void TVAVIVerovu::CALLBACK_MetaSync(HSYNC, DWORD channel, DWORD, void* user) {
    auto* record = static_cast<MetaRecord*>(user);
    const bool wma = record->kind == skWMA;
    const char* text = Bass.BASS_ChannelGetTags(channel, wma ? kTagWmaMeta : BASS_TAG_META);
    record->push(channel, MetaTitle(text, wma ? "Title=" : "StreamTitle="));
    PostMessage(record->window, WM_META_TITLE, channel, 0);
}

bool TVAVIVerovu::OpenURLStream(const std::string& url, const std::string& ext, TStreamInfo& info) {
    if ((ext == ".WMA" || ext == ".ASF") && !m_resources.WMAReady()) {
        ShowError("Load BASSWMA.DLL or Winamp input plug-in for ASF/WMA file.");
        return false;
    }
    const DWORD flags = m_singleChannelRequested ? 0 : BASS_STREAM_DECODE;
    DWORD channel = 0;
    if (ExtInPatterns(ext, kMidiPatterns)) {
        if (m_resources.MIDIReady()) ShowError("None of sound font is loaded.");
    } else {
        // "mms://" too: the core hands a URL of a scheme it does not speak to the
        // add-ons, and fails cleanly when none takes it.
        channel = Bass.BASS_StreamCreateURL(url.c_str(), 0, flags, nullptr, nullptr);
    }
    if (!channel) {
        ShowError("Invalid or unsupported URL stream.\n -> " + url);
        return false;
    }
    BASS_CHANNELINFO ci{};
    Bass.BASS_ChannelGetInfo(channel, &ci);
    Close();
    m_decodeChannel = channel;
    m_streamKind = isWmaType(ci.ctype) ? skWMA : skStream;
    // A URL naming no file type the library plays is a live stream (a radio).
    const bool known = ExtInPatterns(qtext::asciiLower(ext), NativeFileExts());
    m_isLiveStream = !known;
    m_isNetFile = known;
    info.FileName = url;
    if (m_isLiveStream)
        ReadLiveStreamInfo(info);
    else
        ReadNetFileInfo(url, ext, info);
    m_decoderName = m_streamKind == skWMA ? kBassWmaLibrary : kBassLibrary;
    return true;
}

void TVAVIVerovu::ReadLiveStreamInfo(TStreamInfo& info) {
    const DWORD channel = m_decodeChannel;
    if (m_streamKind == skWMA) {
        for (std::string_view entry : SeriesEntries(Bass.BASS_ChannelGetTags(channel, BASS_TAG_WMA))) {
            if (entry.substr(0, 8) == "Bitrate=") info.BitRate = NumberAfter(entry, 8) / 1000;
            if (qtext::asciiLower(entry).find("title=") != std::string::npos)
                info.Title = StreamTitleText(entry.substr(std::min<size_t>(6, entry.size())));
        }
        if (const char* meta = Bass.BASS_ChannelGetTags(channel, kTagWmaMeta)) {
            const std::string_view text(meta, strnlen(meta, kMaxSeriesBytes));
            if (text.find("Title=") != std::string_view::npos)
                info.Title = StreamTitleText(text.substr(std::min<size_t>(6, text.size())));
        }
    } else {
        const char* headers = Bass.BASS_ChannelGetTags(channel, BASS_TAG_ICY);
        if (!headers) headers = Bass.BASS_ChannelGetTags(channel, BASS_TAG_HTTP);
        for (std::string_view entry : SeriesEntries(headers)) {
            if (entry.find("icy-br:") != std::string_view::npos) {
                info.BitRate = NumberAfter(entry, 7);
                break;
            }
            if (entry.find("ice-bitrate:") != std::string_view::npos) {
                info.BitRate = NumberAfter(entry, 12);
                break;
            }
        }
        const char* meta = Bass.BASS_ChannelGetTags(channel, BASS_TAG_META);
        const auto title = meta ? QuotedMetaValue(meta, "StreamTitle=") : std::nullopt;
        info.Title = title ? StreamTitleText(*title) : std::string();
    }
    m_metaRecord->kind = m_streamKind;
    if (m_streamKind == skWMA) {
        Bass.BASS_ChannelSetSync(channel, kSyncWmaMeta, 0, &CALLBACK_MetaSync, m_metaRecord.get());
        Bass.BASS_ChannelSetSync(channel, kSyncWmaChange, 0, &CALLBACK_MetaSync, m_metaRecord.get());
    } else {
        Bass.BASS_ChannelSetSync(channel, BASS_SYNC_META, 0, &CALLBACK_MetaSync, m_metaRecord.get());
    }
}

void TVAVIVerovu::ReadNetFileInfo(const std::string& url, const std::string& ext, TStreamInfo& info) {
    const DWORD channel = m_decodeChannel;
    if (m_streamKind == skWMA) {
        for (std::string_view entry : SeriesEntries(Bass.BASS_ChannelGetTags(channel, BASS_TAG_WMA))) {
            if (entry.substr(0, 9) == "FileSize=") info.FileSize = NumberAfter(entry, 9);
            if (entry.substr(0, 8) == "Bitrate=") info.BitRate = NumberAfter(entry, 8) / 1000;
            if (entry.substr(0, 6) == "Title=") info.Title = StreamTitleText(entry.substr(6));
            if (entry.substr(0, 7) == "Author=") info.Artist = StreamTitleText(entry.substr(7));
        }
    } else if (ext == ".OGG") {
        // Keys compared whole and in any case ("SUBTITLE=" is not the title).
        for (std::string_view entry : SeriesEntries(Bass.BASS_ChannelGetTags(channel, BASS_TAG_OGG))) {
            if (auto v = CommentValue(entry, "TITLE")) info.Title = StreamTitleText(*v);
            if (auto v = CommentValue(entry, "ARTIST")) info.Artist = StreamTitleText(*v);
            if (auto v = CommentValue(entry, "GENRE")) info.Genre = StreamTitleText(*v);
            if (auto v = CommentValue(entry, "ALBUM")) info.Album = StreamTitleText(*v);
        }
    }
    if (info.Title.empty()) info.Title = TitleFromURL(url);

    const QWORD length = Bass.BASS_ChannelGetLength(channel, BASS_POS_BYTE);
    const double seconds = length == QWORD(-1) ? 0.0 : Bass.BASS_ChannelBytes2Seconds(channel, length);
    info.Duration = seconds > 0 ? uint32_t(std::lround(seconds * 1000.0)) : 0;
    const QWORD total = Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
    if (total == QWORD(-1)) return;
    if (m_streamKind != skWMA) {
        info.FileSize = uint32_t(std::min<QWORD>(total, UINT32_MAX));
        info.BitRate = seconds > 0 ? uint32_t(std::lround(double(total) / (seconds * 125.0))) : 0;
    }
    m_downloadDone = total == Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_DOWNLOAD);
    if (!m_downloadDone)
        Bass.BASS_ChannelSetSync(channel, BASS_SYNC_DOWNLOAD, 0, &CALLBACK_DownloadSync, m_messageWindow.Handle());
}

void TVAVIVerovu::OnMetaTitle() {
    const auto entry = m_metaRecord->pop();
    if (!entry || entry->first != m_decodeChannel) return;  // a title of a stream closed since
    m_streamInfo.Title = entry->second;
    NotifyVisInfo();
    if (OnGetMeta) OnGetMeta(this, m_streamInfo.Title);
}

void TVAVIVerovu::OnDownloadDone(DWORD channel) {
    if (!channel || channel != m_decodeChannel || m_downloadDone) return;
    m_downloadDone = true;
    const std::string ext = StreamFileExt(m_streamName);
    if (ext == ".MP3" || ext == ".MP2" || ext == ".MP1") {
        // The ID3v1 block (128 bytes) or, without one, the ID3v2 tag.
        TID3v1 v1;
        TID3v2 v2;
        if (const char* tag = Bass.BASS_ChannelGetTags(channel, BASS_TAG_ID3)) {
            MemorySource source(std::string_view(tag, 128));
            v1.ReadFromSource(source);
        }
        const char* tag = v1.exists() ? nullptr : Bass.BASS_ChannelGetTags(channel, BASS_TAG_ID3V2);
        if (const std::string_view block = tag ? id3v2Block(tag) : std::string_view(); !block.empty()) {
            MemorySource source(block);
            v2.ReadFromSource(source);
        }
        if (v1.exists() || v2.exists()) {
            const mediainfo::TTagFields t = mediainfo::preferredID3Fields(v1, v2);
            m_streamInfo.Title = t.title;
            m_streamInfo.Artist = t.artist;
            m_streamInfo.Album = t.album;
            m_streamInfo.Year = t.year;
            m_streamInfo.Genre = t.genre;
            m_streamInfo.GenreID = t.genreID;
            m_streamInfo.Track = uint8_t(t.track & 0xFF);
            m_streamInfo.Comment = t.comment;
        }
    }
    const QWORD total = Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
    if (total != QWORD(-1)) m_streamInfo.FileSize = uint32_t(std::min<QWORD>(total, UINT32_MAX));
    m_streamInfo.Duration = PlayLength();
    NotifyVisInfo();
    if (OnDownloaded) OnDownloaded(this, m_streamInfo.Duration);
}

bool TVAVIVerovu::NeedsPrebuffer() const {
    return m_isLiveStream || (m_streamKind == skWMA && m_isNetFile);
}

bool TVAVIVerovu::WaitForPrebuffer(DWORD channel) {
    const uint32_t generation = m_openGeneration;
    const auto deadline = std::chrono::steady_clock::now() + kPrebufferLimit;
    // Between readings the window stays responsive; a command handled meanwhile
    // may close or replace the stream, and then there is nothing to wait for.
    const auto pump = [&] {
        quillet::win::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPrebufferStepMs));
        return generation == m_openGeneration && channel == m_decodeChannel;
    };
    bool ok = false;
    if (Bass.BASS_StreamGetFilePosition(channel, kFilePosWmaBuffer) != QWORD(-1)) {
        for (;;) {
            const QWORD percent = Bass.BASS_StreamGetFilePosition(channel, kFilePosWmaBuffer);
            if (percent == QWORD(-1)) break;
            if (percent >= 100) {
                ok = true;
                break;
            }
            if (!pump()) return false;
            if (std::chrono::steady_clock::now() > deadline) break;
        }
    } else {
        for (;;) {
            const QWORD total = Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END);
            if (total == QWORD(-1) || total == 0) break;
            const QWORD downloaded = Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_DOWNLOAD);
            const QWORD current = Bass.BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CURRENT);
            const QWORD ahead = downloaded > current && downloaded != QWORD(-1) ? downloaded - current : 0;
            if (std::llround(double(ahead) * 100.0 / double(total)) > int64_t(kPrebufferPercent)) {
                ok = true;
                break;
            }
            if (!pump()) return false;
            if (std::chrono::steady_clock::now() > deadline) break;
        }
    }
    if (!ok) ShowError("Error at buffering process.");
    return ok;
}

void TVAVIVerovu::ReopenLiveStream() {
    bool muted = false;
    if (!m_muted) {
        SetMuted(true, 0);
        muted = m_muted;
    }
    const std::string name = m_streamName;  // Close() empties it
    if (Open(name)) Play();
    if (muted) SetMuted(false, kReopenFadeMs);
}
