// The WMA decoder's network entry: an ASF file served over HTTP by a local
// server, and "mms://" URLs, which try MMS over HTTP and then over TCP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/wma/AsfDecoder.h"

namespace {

// A free TCP port on the loopback interface.
int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

bool accepts(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// Python's HTTP server over the WMA fixtures, for the life of the object.
class HttpServer {
  public:
    HttpServer() : m_port(freePort()) {
        m_pid = fork();
        if (m_pid == 0) {
            const std::string port = std::to_string(m_port);
            const std::string dir = std::string(QUILLET_FIXTURES) + "/wma";
            // The system's interpreter: a version manager's shim starts too slowly.
            execl("/usr/bin/python3", "python3", "-m", "http.server", port.c_str(), "--bind", "127.0.0.1",
                  "--directory", dir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 400 && !accepts(m_port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ~HttpServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    std::string url(const std::string& file) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + file;
    }
    bool running() const { return m_pid > 0 && accepts(m_port); }

  private:
    int m_port;
    pid_t m_pid = -1;
};

TEST(WmaUrl, AnAsfFileOverHttpDecodes) {
    HttpServer server;
    ASSERT_TRUE(server.running());
    auto decoder = qwma::openAsfUrl(server.url("tone-wmav2-128k.wma"), 0);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->sampleRate(), 44100u);
    EXPECT_EQ(decoder->channels(), 2u);
    EXPECT_EQ(decoder->channelType(), uint32_t(BASS_CTYPE_STREAM_WMA));
    const auto tags = decoder->tags(BASS_TAG_WMA);
    ASSERT_TRUE(tags);
    EXPECT_NE(tags->find("Title=Tone Title"), std::string_view::npos);
    std::vector<float> buf(4096 * 2);
    uint64_t total = 0;
    while (const uint64_t n = decoder->read(buf.data(), 4096)) total += n;
    EXPECT_NEAR(double(total) / 44100, 2.97, 0.05);
    // Not an ASF stream: refused.
    EXPECT_EQ(qwma::openAsfUrl(server.url("README.md"), 0), nullptr);
    EXPECT_EQ(qwma::openAsfUrl(server.url("missing.wma"), 0), nullptr);
}

TEST(WmaUrl, UnreachableOrForeignUrlsFailQuickly) {
    const int closed = freePort();  // nothing listens there
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(qwma::openAsfUrl("mms://127.0.0.1:" + std::to_string(closed) + "/stream", 0), nullptr);
    EXPECT_EQ(qwma::openAsfUrl("mmst://127.0.0.1:" + std::to_string(closed) + "/stream", 0), nullptr);
    EXPECT_EQ(qwma::openAsfUrl("ftp://127.0.0.1/x.wma", 0), nullptr);
    EXPECT_EQ(qwma::openAsfUrl("file:///etc/passwd", 0), nullptr);
    EXPECT_EQ(qwma::openAsfUrl("/etc/passwd", 0), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

}  // namespace
