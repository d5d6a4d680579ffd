// A server's answer as the URL streams read it: the header block line by
// line, then the body through the ICY metadata demuxer (with the interval
// the headers give, or one taken from the first body byte), and the body as
// a playlist file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/audio/core/net/NetParse.h"

using namespace qaudio::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    HeadParser parser;
    HeadParser::Step step = HeadParser::Step::More;
    while (step == HeadParser::Step::More && !bytes.empty()) {
        const size_t eol = bytes.find('\n');
        const std::string_view line = bytes.substr(0, eol);
        bytes.remove_prefix(eol == std::string_view::npos ? bytes.size() : eol + 1);
        step = parser.addLine(line);
    }
    uint32_t interval = parser.head().metaInterval;
    if (interval == 0 && !bytes.empty()) interval = uint8_t(bytes.front()) + 1u;
    size_t audio = 0;
    size_t metas = 0;
    IcyDemuxer demuxer(interval);
    // Fed in uneven pieces, as a socket delivers them.
    for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 % 97 + 1) {
        demuxer.feed(
            bytes.substr(at, piece), [&](std::string_view a) { audio += a.size(); },
            [&](std::string_view m) {
                if (m.empty() || m.size() > kMaxMetaBytes) __builtin_trap();
                ++metas;
            });
    }
    if (audio > bytes.size()) __builtin_trap();
    for (const auto& url : parsePlaylist(bytes))
        if (url.size() > bytes.size()) __builtin_trap();
    return 0;
}
