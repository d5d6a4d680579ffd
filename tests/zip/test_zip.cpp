#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/zip/ZipReader.h"

namespace {

const std::string kDir = QUILLET_FIXTURES "/zip/";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Contents written by make-fixtures.py.
const std::string kStored = repeat("stored member\n", 4);
const std::string kDeflated = repeat("<skin><mini_window image=\"player_bar.bmp\"/></skin>\n", 40);

TEST(ZipReader, ListsTheDirectoryOfAFile) {
    qzip::ZipReader zip;
    ASSERT_TRUE(zip.openFile(kDir + "plain.zip")) << zip.error();
    EXPECT_EQ(zip.path(), kDir + "plain.zip");
    const auto& m = zip.members();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].name, "stored.txt");
    EXPECT_EQ(m[0].method, 0);
    EXPECT_EQ(m[0].size, kStored.size());
    EXPECT_EQ(m[1].name, "skin.xml");
    EXPECT_EQ(m[1].method, 8);
    EXPECT_EQ(m[1].size, kDeflated.size());
    EXPECT_LT(m[1].packedSize, m[1].size);
    EXPECT_EQ(m[2].name, "images/Play.bmp");
    EXPECT_FALSE(m[0].encrypted);
}

TEST(ZipReader, ExtractsStoredAndDeflatedMembersFromMemory) {
    qzip::ZipReader zip;
    {
        // The reader keeps its own copy of the bytes.
        std::string bytes = readFile(kDir + "plain.zip");
        ASSERT_TRUE(zip.openMemory(bytes)) << zip.error();
        bytes.assign(bytes.size(), 'x');
    }
    EXPECT_TRUE(zip.path().empty());
    std::string out;
    ASSERT_TRUE(zip.extract("stored.txt", out)) << zip.error();
    EXPECT_EQ(out, kStored);
    ASSERT_TRUE(zip.extract("skin.xml", out)) << zip.error();
    EXPECT_EQ(out, kDeflated);
    ASSERT_TRUE(zip.extract("empty.txt", out)) << zip.error();
    EXPECT_TRUE(out.empty());
    // Members can be read again and in any order.
    ASSERT_TRUE(zip.extract("stored.txt", out));
    EXPECT_EQ(out, kStored);
}

TEST(ZipReader, MatchesNamesExactlyThenIgnoringAsciiCase) {
    qzip::ZipReader zip;
    ASSERT_TRUE(zip.openFile(kDir + "plain.zip"));
    EXPECT_EQ(zip.find("images/Play.bmp"), 2);
    EXPECT_EQ(zip.find("IMAGES/play.BMP"), 2);
    EXPECT_EQ(zip.find("Play.bmp"), -1);
    std::string out;
    ASSERT_TRUE(zip.extract("images/play.bmp", out));
    EXPECT_EQ(out.substr(0, 2), "BM");
    EXPECT_EQ(out.size(), 514u);
}

TEST(ZipReader, LegacyNamesAreGbkAndFlaggedNamesAreUtf8) {
    qzip::ZipReader zip;
    ASSERT_TRUE(zip.openFile(kDir + "names.zip")) << zip.error();
    ASSERT_EQ(zip.members().size(), 2u);
    EXPECT_EQ(zip.members()[0].name, "\xE7\x9A\xAE\xE8\x82\xA4.bmp");  // 皮肤.bmp, stored as GBK
    EXPECT_EQ(zip.members()[1].name, "\xE8\x83\x8C\xE6\x99\xAF.bmp");  // 背景.bmp, UTF-8 flag
    std::string out;
    ASSERT_TRUE(zip.extract("\xE7\x9A\xAE\xE8\x82\xA4.bmp", out)) << zip.error();
    EXPECT_EQ(out, "gbk named member");
    ASSERT_TRUE(zip.extract("\xE8\x83\x8C\xE6\x99\xAF.bmp", out)) << zip.error();
    EXPECT_EQ(out, "utf-8 named member");
    // The raw GBK bytes are not a name inside the program.
    EXPECT_FALSE(zip.extract("\xC6\xA4\xB7\xF4.bmp", out));
}

TEST(ZipReader, UnreadableArchivesFailWithAText) {
    qzip::ZipReader zip;
    EXPECT_FALSE(zip.openFile(kDir + "no-such.zip"));
    EXPECT_NE(zip.error().find("no-such.zip"), std::string::npos);
    EXPECT_FALSE(zip.openFile(kDir + "truncated.zip"));
    EXPECT_FALSE(zip.error().empty());
    EXPECT_FALSE(zip.openMemory("PK\x03\x04 not really a zip"));
    EXPECT_FALSE(zip.openMemory(""));
    EXPECT_FALSE(zip.isOpen());
    EXPECT_TRUE(zip.members().empty());
    std::string out = "stale";
    EXPECT_FALSE(zip.extract("skin.xml", out));
    EXPECT_TRUE(out.empty());
}

TEST(ZipReader, AFailedOpenDropsThePreviousArchive) {
    qzip::ZipReader zip;
    ASSERT_TRUE(zip.openFile(kDir + "plain.zip"));
    EXPECT_FALSE(zip.openFile(kDir + "truncated.zip"));
    EXPECT_FALSE(zip.isOpen());
    std::string out;
    EXPECT_FALSE(zip.extract("stored.txt", out));
    ASSERT_TRUE(zip.openFile(kDir + "names.zip"));
    EXPECT_EQ(zip.find("stored.txt"), -1);
}

TEST(ZipReader, MembersThatCannotBeReadFailCleanly) {
    qzip::ZipReader zip;
    std::string out = "stale";
    ASSERT_TRUE(zip.openFile(kDir + "plain.zip"));
    EXPECT_FALSE(zip.extract("missing.bmp", out));
    EXPECT_NE(zip.error().find("missing.bmp"), std::string::npos);
    EXPECT_TRUE(out.empty());

    ASSERT_TRUE(zip.openFile(kDir + "encrypted.zip")) << zip.error();
    ASSERT_GE(zip.find("secret.txt"), 0);
    EXPECT_TRUE(zip.members()[static_cast<size_t>(zip.find("secret.txt"))].encrypted);
    EXPECT_FALSE(zip.extract("secret.txt", out));
    EXPECT_NE(zip.error().find("encrypted"), std::string::npos);
    ASSERT_TRUE(zip.extract("open.txt", out)) << zip.error();
    EXPECT_EQ(out, "open text\n");

    ASSERT_TRUE(zip.openFile(kDir + "bad-crc.zip")) << zip.error();
    EXPECT_FALSE(zip.extract("stored.txt", out));
    EXPECT_NE(zip.error().find("CRC"), std::string::npos);
    EXPECT_TRUE(zip.extract("skin.xml", out));

    ASSERT_TRUE(zip.openFile(kDir + "short-size.zip")) << zip.error();
    EXPECT_FALSE(zip.extract("skin.xml", out));
    EXPECT_TRUE(out.empty());
}

TEST(ZipReader, MembersOverTheCapAreRefused) {
    qzip::ZipReader zip;
    std::string out;
    ASSERT_TRUE(zip.openFile(kDir + "oversize.zip")) << zip.error();
    EXPECT_EQ(zip.members()[0].size, qzip::kMaxMemberSize + 1);
    EXPECT_FALSE(zip.extract("zeros.bin", out));
    EXPECT_NE(zip.error().find("too large"), std::string::npos);
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(zip.extract("small.txt", out));
    EXPECT_EQ(out, "small");
    // A smaller cap given by the caller applies the same way.
    ASSERT_TRUE(zip.openFile(kDir + "plain.zip"));
    EXPECT_FALSE(zip.extract("skin.xml", out, 1000));
    EXPECT_TRUE(zip.extract("skin.xml", out, kDeflated.size()));
}

// Every truncation and a sweep of single-byte corruptions of a valid archive
// either open and extract or fail; the sanitizer builds catch any bad access.
TEST(ZipReader, DamagedCopiesNeverMisbehave) {
    const std::string plain = readFile(kDir + "plain.zip");
    ASSERT_FALSE(plain.empty());
    qzip::ZipReader zip;
    std::string out;
    size_t extracted = 0;
    const auto tryAll = [&](const std::string& bytes) {
        if (!zip.openMemory(bytes)) return;
        for (const auto& m : std::vector<qzip::ZipMember>(zip.members())) {
            if (zip.extract(m.name, out)) {
                EXPECT_EQ(out.size(), m.size);
                ++extracted;
            } else {
                EXPECT_FALSE(zip.error().empty());
            }
        }
    };
    for (size_t n = 0; n < plain.size(); ++n) tryAll(plain.substr(0, n));
    for (size_t at = 0; at < plain.size(); ++at) {
        for (const unsigned char value : {0x00, 0xFF, 0x80}) {
            std::string bytes = plain;
            bytes[at] = static_cast<char>(value);
            tryAll(bytes);
        }
    }
    EXPECT_GT(extracted, 0u);
}

}  // namespace
