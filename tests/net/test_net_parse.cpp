// The byte-level readers of network streams: response heads, ICY metadata
// interleaved with the audio, and playlist files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audio/core/net/NetParse.h"

using namespace qaudio::net;

namespace {

HeadParser::Step feedLines(HeadParser& p, const std::vector<std::string>& lines) {
    HeadParser::Step step = HeadParser::Step::More;
    for (const auto& l : lines) {
        step = p.addLine(l);
        if (step != HeadParser::Step::More) break;
    }
    return step;
}

// Demuxes `body` fed in pieces of `piece` bytes.
struct Demuxed {
    std::string audio;
    std::vector<std::string> meta;
};
Demuxed demux(uint32_t interval, const std::string& body, size_t piece) {
    Demuxed d;
    IcyDemuxer demuxer(interval);
    for (size_t at = 0; at < body.size(); at += piece) {
        demuxer.feed(
            std::string_view(body).substr(at, piece), [&](std::string_view a) { d.audio.append(a); },
            [&](std::string_view m) { d.meta.emplace_back(m); });
    }
    return d;
}

std::string metaBlock(const std::string& text) {
    std::string body = text;
    body.append((16 - body.size() % 16) % 16, '\0');
    return std::string(1, char(body.size() / 16)) + body;
}

}  // namespace

TEST(NetHead, ReadsTheFieldsOfShoutcastAndIcecastAnswers) {
    struct Case {
        std::vector<std::string> lines;
        bool icy, radio;
        int status;
        uint32_t metaint, kbps;
        std::optional<uint64_t> length;
        std::string type;
    };
    const Case cases[] = {
        {{"ICY 200 OK\r\n", "icy-name: X\r\n", "icy-br:128\r\n", "icy-metaint:16000\r\n", "\r\n"},
         true,
         true,
         200,
         16000,
         128,
         std::nullopt,
         ""},
        {{"HTTP/1.0 200 OK", "Content-Type: application/ogg; charset=x",
          "ice-audio-info: ice-samplerate=44100;ice-bitrate=96", ""},
         false,
         true,
         200,
         0,
         96,
         std::nullopt,
         "application/ogg"},
        {{"HTTP/1.1 200 OK", "Content-Length: 12345", "Content-Type: audio/mpeg", ""},
         false,
         false,
         200,
         0,
         0,
         12345,
         "audio/mpeg"},
        // An absurd interval means no metadata; a bad number is ignored.
        {{"ICY 200 OK", "icy-metaint: 99999999999", "icy-br: lots", ""},
         true,
         true,
         200,
         0,
         0,
         std::nullopt,
         ""},
        {{"HTTP/1.0 200 OK", "icy-metaint: 0", ""}, false, true, 200, 0, 0, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        HeadParser p;
        ASSERT_EQ(feedLines(p, c.lines), HeadParser::Step::Done) << c.lines[0];
        const auto& h = p.head();
        EXPECT_EQ(h.icy, c.icy) << c.lines[0];
        EXPECT_EQ(h.radio, c.radio) << c.lines[1];
        EXPECT_EQ(h.status, c.status);
        EXPECT_EQ(h.metaInterval, c.metaint) << c.lines[1];
        EXPECT_EQ(h.bitrateKbps, c.kbps) << c.lines[1];
        EXPECT_EQ(h.contentLength, c.length);
        EXPECT_EQ(h.contentType, c.type);
        EXPECT_EQ(h.lines.size(), c.lines.size() - 1);
        EXPECT_EQ(h.lines[0].find('\r'), std::string::npos);
    }
}

TEST(NetHead, StartsAfreshAtEachStatusLineAndRefusesEndlessOrHeadlessBlocks) {
    HeadParser redirected;
    EXPECT_EQ(feedLines(redirected, {"HTTP/1.1 302 Found", "Location: /x", "icy-metaint: 8000", ""}),
              HeadParser::Step::Done);
    EXPECT_EQ(redirected.head().status, 302);
    EXPECT_EQ(feedLines(redirected, {"HTTP/1.1 200 OK", "Content-Length: 5", ""}), HeadParser::Step::Done);
    EXPECT_EQ(redirected.head().metaInterval, 0u);  // the redirect's headers are gone
    EXPECT_EQ(redirected.head().lines.size(), 2u);

    HeadParser headless;
    EXPECT_EQ(headless.addLine("Content-Length: 5"), HeadParser::Step::Bad);

    HeadParser endless;
    ASSERT_EQ(endless.addLine("HTTP/1.0 200 OK"), HeadParser::Step::More);
    HeadParser::Step step = HeadParser::Step::More;
    size_t fed = 0;
    while (step == HeadParser::Step::More && fed < 10 * kMaxHeaderBytes) {
        step = endless.addLine("X-Filler: " + std::string(100, 'x'));
        fed += 112;
    }
    EXPECT_EQ(step, HeadParser::Step::Bad);
    EXPECT_LE(fed, kMaxHeaderBytes + 200);

    HeadParser many;
    many.addLine("HTTP/1.0 200 OK");
    step = HeadParser::Step::More;
    for (size_t i = 0; i < 2 * kMaxHeaderLines && step == HeadParser::Step::More; ++i)
        step = many.addLine("A: b");
    EXPECT_EQ(step, HeadParser::Step::Bad);
}

TEST(IcyDemuxer, SeparatesAudioAndTitlesHoweverTheBytesAreSplit) {
    const std::string a1(10, 'a'), a2(10, 'b'), a3(4, 'c');
    const std::string body = a1 + metaBlock("StreamTitle='One';") + a2 + std::string(1, '\0') + a3;
    for (size_t piece : {1u, 3u, 7u, 16u, 1000u}) {
        const Demuxed d = demux(10, body, piece);
        EXPECT_EQ(d.audio, a1 + a2 + a3) << piece;
        ASSERT_EQ(d.meta.size(), 1u) << piece;  // the empty block says "no change"
        EXPECT_EQ(d.meta[0], "StreamTitle='One';");
    }
}

TEST(IcyDemuxer, KeepsMalformedBlocksWithinTheirLength) {
    // The largest block, with no NUL and no key; a block whose text stops at a NUL.
    std::string body = std::string(4, 'a') + char(255) + std::string(4080, 'Z') + std::string(4, 'b') +
                       char(1) + std::string("ab\0cdefghijklmn", 16) + std::string(4, 'c');
    const Demuxed d = demux(4, body, 100);
    EXPECT_EQ(d.audio, "aaaabbbbcccc");
    ASSERT_EQ(d.meta.size(), 2u);
    EXPECT_EQ(d.meta[0].size(), kMaxMetaBytes);
    EXPECT_EQ(d.meta[1], "ab");
    // No interval: everything is audio.
    EXPECT_EQ(demux(0, body, 50).audio, body);
}

TEST(NetPlaylist, ListsTheStreamsOfPlsAndM3uFiles) {
    struct Case {
        std::string text;
        std::vector<std::string> urls;
    };
    const Case cases[] = {
        {"[playlist]\r\nNumberOfEntries=2\r\nFile1=http://a/x\r\nTitle1=A\r\nfile2= https://b/y "
         "\r\nVersion=2\r\n",
         {"http://a/x", "https://b/y"}},
        {"#EXTM3U\n#EXTINF:-1,Radio\nhttp://c/z\n\nnot a url\nftp://d/\n", {"http://c/z"}},
        {"", {}},
        {std::string("File1=\0http://x", 15), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parsePlaylist(c.text), c.urls) << c.text;
    EXPECT_TRUE(isPlaylistUrl("http://h/radio.pls"));
    EXPECT_TRUE(isPlaylistUrl("http://h/list.M3U?x=1"));
    EXPECT_FALSE(isPlaylistUrl("http://h/song.mp3"));
    EXPECT_FALSE(isPlaylistUrl("http://h/pls"));
    EXPECT_TRUE(isPlaylistType("audio/x-scpls"));
    EXPECT_FALSE(isPlaylistType("audio/mpeg"));
}

TEST(NetSeries, EndsEachTextAndTheWhole) {
    EXPECT_EQ(series({"a", "bc"}), std::string("a\0bc\0\0", 6));
    EXPECT_EQ(series({}), std::string("\0", 1));
}
