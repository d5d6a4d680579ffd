// The tools' shared units: JSON and one-line text, the command parser, the line reader.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "platform/text/Text.h"
#include "tests/common/StreamInfoSamples.h"
#include "tools/LineReader.h"
#include "tools/PlayCommands.h"
#include "tools/ToolText.h"

using namespace quillet::tools;
using namespace std::chrono_literals;

TEST(ToolText, JsonStringEscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(jsonString("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(jsonString("测试 ü"), "\"测试 ü\"");  // valid UTF-8 passes unchanged
}

TEST(ToolText, TextThatIsNotUtf8BecomesValidUtf8) {
    // GBK bytes are decoded; a byte that is neither is taken as Latin-1.
    EXPECT_EQ(jsonString("\xb2\xe2\xca\xd4"), "\"测试\"");
    const std::string s = jsonString("\xff\x80x");
    EXPECT_TRUE(qtext::isValidUtf8(s));
    EXPECT_EQ(s, "\"ÿ€x\"");  // 0x80 is the euro sign in GBK
    EXPECT_TRUE(qtext::isValidUtf8(oneLine("\xff\r\n\xfe")));
}

TEST(ToolText, StreamInfoJsonHasEveryFieldInOrder) {
    TStreamInfo info("/music/a.mp3");
    info.FileSize = 4294967295u;
    info.SampleRate = 44100;
    info.BitRate = 320;
    info.BitsPerSample = 16;
    info.Duration = 61234;
    info.Channels = 2;
    info.Format = 0x10005;
    info.Title = "T\"1";
    info.Artist = "A";
    info.Album = "Al";
    info.Year = "2001";
    info.Genre = "Rock";
    info.GenreID = 255;
    info.Track = 7;
    info.Comment = "line\nbreak";
    EXPECT_EQ(streamInfoJson("/music/a.mp3", true, info),
              "{\"path\":\"/music/a.mp3\",\"ok\":true,\"FileName\":\"/music/a.mp3\",\"FileSize\":4294967295,"
              "\"SampleRate\":44100,\"BitRate\":320,\"BitsPerSample\":16,\"Duration\":61234,\"Channels\":2,"
              "\"Format\":65541,\"Title\":\"T\\\"1\",\"Artist\":\"A\",\"Album\":\"Al\",\"Year\":\"2001\","
              "\"Genre\":\"Rock\",\"GenreID\":255,\"Track\":7,\"Comment\":\"line\\nbreak\","
              "\"path_bytes\":\"2f6d757369632f612e6d7033\"}");
    const std::string failed = streamInfoJson("x", false, TStreamInfo("x"));
    EXPECT_EQ(failed.substr(0, 35), "{\"path\":\"x\",\"ok\":false,\"FileName\":\"");
    EXPECT_EQ(failed.find('\n'), std::string::npos);
}

TEST(ToolText, HexBytesKeepEveryByte) {
    EXPECT_EQ(hexBytes(""), "");
    EXPECT_EQ(hexBytes(std::string_view("a\0\xff\xfe/\x10", 6)), "6100fffe2f10");
}

TEST(ToolText, StreamInfoJsonPrintsEveryFieldOfTheTableUnderItsName) {
    const TStreamInfo info = streamInfoWithEveryField(7);
    const std::string json = streamInfoJson("p", true, info);
    std::size_t from = 0;
    for (const TStreamInfoField& field : kStreamInfoFields) {
        SCOPED_TRACE(field.name);
        const std::string value =
            field.isText() ? jsonString(field.text(info)) : std::to_string(field.number(info));
        const std::string pair = "\"" + std::string(field.name) + "\":" + value;
        const std::size_t at = json.find(pair, from);
        ASSERT_NE(at, std::string::npos) << json;
        from = at + pair.size();
    }
    EXPECT_EQ(json.substr(from), ",\"path_bytes\":\"70\"}");  // "p"
}

TEST(StreamInfoFields, EachEntryReachesItsOwnMemberUnderItsOwnNames) {
    std::set<std::string> names, attributes;
    for (const TStreamInfoField& field : kStreamInfoFields) {
        SCOPED_TRACE(field.name);
        EXPECT_TRUE(names.insert(field.name).second);
        EXPECT_TRUE(attributes.insert(field.attribute).second);
        // The playlist file's names are the field names in lower case.
        EXPECT_EQ(field.attribute, qtext::asciiLower(field.name));
        // Setting this entry changes this member and no other.
        TStreamInfo changed;
        if (field.isText()) {
            field.text(changed) = "x";
        } else {
            field.setNumber(changed, 0x1FFFF);  // cut to the field's width: 32, 16 or 8 bits
            const uint32_t v = field.number(changed);
            EXPECT_TRUE(v == 0x1FFFFu || v == 0xFFFFu || v == 0xFFu) << v;
        }
        std::size_t differing = 0;
        for (const TStreamInfoField& other : kStreamInfoFields) {
            const bool same = other.isText() ? other.text(changed) == other.text(TStreamInfo())
                                             : other.number(changed) == other.number(TStreamInfo());
            differing += same ? 0 : 1;
        }
        EXPECT_EQ(differing, 1u);
    }
}

TEST(ToolText, OneLineTurnsEveryKindOfLineBreakIntoBackslashN) {
    EXPECT_EQ(oneLine("a\r\nb\nc\rd"), "a\\nb\\nc\\nd");
    EXPECT_EQ(oneLine("\r\r\n\n"), "\\n\\n\\n");
    EXPECT_EQ(oneLine("Can't initialize device\r\n(error code: 3)"), "Can't initialize device\\n(error code: 3)");
    EXPECT_EQ(oneLine("tab\tand \\ stay"), "tab\tand \\ stay");
}

TEST(PlayCommands, ParsesEveryCommandAndItsArgument) {
    using C = PlayCommand;
    EXPECT_EQ(parsePlayCommand("pause"), (ParsedCommand{C::Pause}));
    EXPECT_EQ(parsePlayCommand("resume"), (ParsedCommand{C::Resume}));
    EXPECT_EQ(parsePlayCommand("play"), (ParsedCommand{C::Play}));
    EXPECT_EQ(parsePlayCommand("stop"), (ParsedCommand{C::Stop}));
    EXPECT_EQ(parsePlayCommand("mute"), (ParsedCommand{C::Mute}));
    EXPECT_EQ(parsePlayCommand("unmute"), (ParsedCommand{C::Unmute}));
    EXPECT_EQ(parsePlayCommand("next"), (ParsedCommand{C::Next}));
    EXPECT_EQ(parsePlayCommand("quit"), (ParsedCommand{C::Quit}));
    EXPECT_EQ(parsePlayCommand("seek 1500"), (ParsedCommand{C::Seek, 1500}));
    EXPECT_EQ(parsePlayCommand("volume 0"), (ParsedCommand{C::Volume, 0}));
    EXPECT_EQ(parsePlayCommand("volume 300"), (ParsedCommand{C::Volume, 300}));  // the engine clamps
    EXPECT_EQ(parsePlayCommand("seek 4294967295"), (ParsedCommand{C::Seek, 4294967295u}));
    EXPECT_EQ(parsePlayCommand("  \tseek   20 \r\n"), (ParsedCommand{C::Seek, 20}));
}

TEST(PlayCommands, RejectsUnknownWordsAndBadArguments) {
    for (const char* line : {"", " ", "Pause", "paused", "pause now", "seek", "seek -1", "seek +1", "seek 1x",
                             "seek 4294967296", "seek 1 2", "volume", "volume ten", "quit!", "next 2"}) {
        EXPECT_FALSE(parsePlayCommand(line)) << line;
    }
    EXPECT_FALSE(parsePlayCommand(std::string("pause\0", 6)));
}

namespace {

// Collects what a LineReader delivers.
struct Collected {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> lines;
    int signals = 0;

    bool waitFor(size_t count) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return lines.size() >= count; });
    }
};

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        closeWrite();
        if (fds[0] >= 0) close(fds[0]);
    }
    void write(const std::string& s) { ASSERT_EQ(::write(fds[1], s.data(), s.size()), ssize_t(s.size())); }
    void closeWrite() {
        if (fds[1] >= 0) close(fds[1]);
        fds[1] = -1;
    }
};

}  // namespace

TEST(LineReader, DeliversWholeLinesIncludingALastOneWithoutBreak) {
    Pipe input;
    Collected got;
    LineReader reader(input.fds[0], -1,
                      [&](std::string line) {
                          std::lock_guard lock(got.mutex);
                          got.lines.push_back(std::move(line));
                          got.cv.notify_all();
                      },
                      nullptr);
    ASSERT_TRUE(reader.start());
    input.write("pau");
    std::this_thread::sleep_for(50ms);
    input.write("se\r\nseek 10\n\nvol");
    ASSERT_TRUE(got.waitFor(3));
    input.write("ume 5");
    input.closeWrite();  // end of input: the unfinished line counts
    ASSERT_TRUE(got.waitFor(4));
    reader.stop();
    EXPECT_EQ(got.lines, (std::vector<std::string>{"pause", "seek 10", "", "volume 5"}));
}

TEST(LineReader, CutsOverlongLinesAndKeepsReadingAfterThem) {
    Pipe input;
    Collected got;
    LineReader reader(input.fds[0], -1,
                      [&](std::string line) {
                          std::lock_guard lock(got.mutex);
                          got.lines.push_back(std::move(line));
                          got.cv.notify_all();
                      },
                      nullptr);
    ASSERT_TRUE(reader.start());
    std::thread writer([&] {
        input.write(std::string(LineReader::kMaxLine * 5, 'x') + "\nquit\n");
    });
    ASSERT_TRUE(got.waitFor(2));
    writer.join();
    reader.stop();
    ASSERT_EQ(got.lines.size(), 2u);
    EXPECT_EQ(got.lines[0], std::string(LineReader::kMaxLine, 'x'));
    EXPECT_EQ(got.lines[1], "quit");
}

TEST(LineReader, StopsWhileBlockedOnInputThatNeverComes) {
    Pipe input;
    int lines = 0;
    LineReader reader(input.fds[0], -1, [&](std::string) { ++lines; }, nullptr);
    ASSERT_TRUE(reader.start());
    std::this_thread::sleep_for(20ms);
    reader.stop();  // returns although the input stays open and silent
    EXPECT_EQ(lines, 0);
}

TEST(LineReader, ReportsASignalFromItsSignalfd) {
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &set, &old), 0);
    const int sfd = signalfd(-1, &set, SFD_CLOEXEC);
    ASSERT_GE(sfd, 0);
    Pipe input;
    Collected got;
    LineReader reader(input.fds[0], sfd, [](std::string) {},
                      [&] {
                          std::lock_guard lock(got.mutex);
                          got.lines.push_back("signal");
                          got.cv.notify_all();
                      });
    ASSERT_TRUE(reader.start());
    input.closeWrite();  // the end of input does not stop the reader watching signals
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(kill(getpid(), SIGUSR1), 0);
    EXPECT_TRUE(got.waitFor(1));
    reader.stop();
    close(sfd);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}
