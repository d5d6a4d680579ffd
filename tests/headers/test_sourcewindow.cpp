#include <gtest/gtest.h>

#include <string>

#include "mediainfo/SourceWindow.h"

using namespace mediainfo;

namespace {

// A memory source that counts the reads reaching it.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(std::string_view bytes) : m_inner(bytes) {}
    uint64_t size() const override { return m_inner.size(); }
    size_t readAt(uint64_t offset, void* out, size_t count) override {
        ++reads;
        return m_inner.readAt(offset, out, count);
    }
    int reads = 0;

  private:
    MemorySource m_inner;
};

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
    return s;
}

}  // namespace

TEST(EdgeCachedSource, ReturnsWhatTheSourceHoldsAndReadsEachEdgeOnce) {
    const std::string bytes = pattern(50000);
    CountingSource inner(bytes);
    EdgeCachedSource cached(inner, 4096, 4096);
    EXPECT_EQ(cached.size(), 50000u);
    const struct {
        uint64_t offset;
        size_t count;
    } reads[] = {{0, 10},      {0, 4096},          {4000, 96},           {4000, 97},
                 {20000, 100}, {50000 - 128, 128}, {50000 - 4096, 4096}, {50000 - 4097, 10},
                 {49990, 100}, {50000, 10},        {60000, 10}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.offset);
        std::string got(r.count, '\x01');
        got.resize(cached.readAt(r.offset, got.data(), r.count));
        EXPECT_EQ(got, bytes.substr(std::min<size_t>(r.offset, bytes.size()), r.count));
    }
    // Two edge loads plus the three requests outside both edges.
    EXPECT_EQ(inner.reads, 5);
}

TEST(EdgeCachedSource, SmallFileIsReadOnce) {
    const std::string bytes = pattern(6000);
    CountingSource inner(bytes);
    EdgeCachedSource cached(inner, 4096, 4096);
    for (uint64_t offset : {0, 100, 3000, 5990}) {
        std::string got(64, '\0');
        got.resize(cached.readAt(offset, got.data(), got.size()));
        EXPECT_EQ(got, bytes.substr(offset, 64));
    }
    EXPECT_EQ(inner.reads, 1);
}

TEST(SourceWindow, ServesSmallStepsFromGrowingFetches) {
    const std::string bytes = pattern(100000);
    CountingSource inner(bytes);
    SourceWindow in(inner, 1000, 8000);
    uint64_t pos = 0;
    while (pos < bytes.size()) {
        const std::string_view v = in.get(pos, 7);
        ASSERT_EQ(v, std::string_view(bytes).substr(pos, 7));
        pos += 7;
    }
    EXPECT_TRUE(in.get(bytes.size(), 4).empty());
    EXPECT_EQ(in.get(bytes.size() - 2, 4), bytes.substr(bytes.size() - 2));
    // 1000 + 2000 + 4000 + 8000 * 11.6: about 16 fetches for 14286 requests.
    EXPECT_LE(inner.reads, 20);
}
