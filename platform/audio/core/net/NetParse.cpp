#include "platform/audio/core/net/NetParse.h"

#include <algorithm>
#include <charconv>

namespace qaudio::net {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// The leading decimal number of a text; nullopt when it starts otherwise.
std::optional<uint64_t> number(std::string_view s) {
    s = trim(s);
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end == s.data()) return std::nullopt;
    return v;
}

void readHeader(ResponseHead& head, std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string name = lower(trim(line.substr(0, colon)));
    const std::string_view value = trim(line.substr(colon + 1));
    if (startsWith(name, "icy-") || startsWith(name, "ice-")) head.radio = true;
    if (name == "content-length") {
        head.contentLength = number(value);
    } else if (name == "icy-metaint") {
        const auto v = number(value);
        head.metaInterval = v && *v > 0 && *v <= kMaxMetaInterval ? uint32_t(*v) : 0;
    } else if (name == "icy-br" || name == "ice-bitrate") {
        if (const auto v = number(value); v && *v < 100000) head.bitrateKbps = uint32_t(*v);
    } else if (name == "ice-audio-info" && head.bitrateKbps == 0) {
        // "ice-samplerate=44100;ice-bitrate=128;ice-channels=2"
        const std::string v = lower(value);
        for (const char* key : {"ice-bitrate=", "bitrate="}) {
            const size_t at = v.find(key);
            if (at == std::string::npos) continue;
            if (const auto n = number(std::string_view(v).substr(at + std::char_traits<char>::length(key)));
                n && *n < 100000) {
                head.bitrateKbps = uint32_t(*n);
                break;
            }
        }
    } else if (name == "content-type") {
        head.contentType = lower(trim(value.substr(0, value.find(';'))));
    }
}

}  // namespace

HeadParser::Step HeadParser::addLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (startsWith(line, "HTTP/") || startsWith(line, "ICY ")) {
        // A new response (after a redirect or an interim 1xx): start afresh.
        m_head = ResponseHead{};
        m_bytes = 0;
        m_head.icy = startsWith(line, "ICY ");
        m_head.radio = m_head.icy;
        const size_t space = line.find(' ');
        const auto code = number(line.substr(space + 1));
        m_head.status = code && *code < 1000 ? int(*code) : 0;
    } else if (m_head.lines.empty()) {
        return Step::Bad;  // headers before any status line
    } else if (line.empty()) {
        return Step::Done;
    } else {
        readHeader(m_head, line);
    }
    m_bytes += line.size() + 2;
    if (m_bytes > kMaxHeaderBytes || m_head.lines.size() >= kMaxHeaderLines) return Step::Bad;
    m_head.lines.emplace_back(line.substr(0, line.find('\0')));
    return Step::More;
}

void IcyDemuxer::feed(std::string_view bytes, const AudioSink& audio, const MetaSink& meta) {
    while (!bytes.empty()) {
        if (m_interval == 0) {
            audio(bytes);
            return;
        }
        if (m_inMeta) {
            const size_t n = std::min(m_metaLeft, bytes.size());
            m_meta.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
            m_metaLeft -= n;
            if (m_metaLeft == 0) {
                m_inMeta = false;
                const std::string_view text = std::string_view(m_meta).substr(0, m_meta.find('\0'));
                if (!text.empty()) meta(text);
                m_meta.clear();
            }
        } else if (m_left == 0) {
            m_metaLeft = size_t(uint8_t(bytes.front())) * 16;  // at most kMaxMetaBytes
            bytes.remove_prefix(1);
            m_left = m_interval;
            m_inMeta = m_metaLeft > 0;
        } else {
            const size_t n = std::min<size_t>(m_left, bytes.size());
            audio(bytes.substr(0, n));
            bytes.remove_prefix(n);
            m_left -= uint32_t(n);
        }
    }
}

std::string series(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) {
        out.append(s.substr(0, s.find('\0')));
        out.push_back('\0');
    }
    out.push_back('\0');
    return out;
}

std::vector<std::string> parsePlaylist(std::string_view text) {
    text = text.substr(0, kMaxPlaylistBytes);
    std::vector<std::string> urls;
    while (!text.empty()) {
        const size_t eol = text.find_first_of("\r\n");
        std::string_view line = trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        // .pls: "File1=http://..."; .m3u: the URL on a line of its own.
        if (startsWith(lower(line.substr(0, 4)), "file")) {
            const size_t eq = line.find('=');
            if (eq != std::string_view::npos) line = trim(line.substr(eq + 1));
        }
        const std::string head = lower(line.substr(0, 8));
        if (startsWith(head, "http://") || startsWith(head, "https://")) urls.emplace_back(line);
    }
    return urls;
}

bool isPlaylistUrl(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    const std::string l = lower(url.substr(url.size() > 5 ? url.size() - 5 : 0));
    return l.ends_with(".pls") || l.ends_with(".m3u");
}

bool isPlaylistType(std::string_view contentType) {
    return contentType == "audio/x-scpls" || contentType == "audio/x-mpegurl" ||
           contentType == "audio/mpegurl" || contentType == "application/pls+xml";
}

}  // namespace qaudio::net
