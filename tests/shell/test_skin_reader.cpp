// The skin reader: bitmaps and XML members, the playlist window's section and
// colours, the built-in archive and where skin files are found.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/zip/ZipReader.h"
#include "shell/USkin.h"
#include "tests/shell/SkinTestUtil.h"

namespace {

std::unique_ptr<qzip::ZipReader> Open(const std::string& fixture) {
    auto zip = std::make_unique<qzip::ZipReader>();
    EXPECT_TRUE(zip->openFile(SkinFixture(fixture))) << zip->error();
    return zip;
}

std::unique_ptr<qzip::ZipReader> OpenBuiltin() {
    auto zip = std::make_unique<qzip::ZipReader>();
    const QByteArray& bytes = BuiltinSkinArchive();
    EXPECT_TRUE(zip->openMemory(std::string_view(bytes.constData(), size_t(bytes.size()))));
    return zip;
}

}  // namespace

TEST(SkinReader, BuiltinSkinHasEveryMemberInItsSize) {
    const auto zip = OpenBuiltin();
    const struct {
        const char* name;
        int w, h;
    } bitmaps[] = {{"player_bar.bmp", 200, 30},
                   {"play.bmp", 76, 18},
                   {"pause.bmp", 76, 18},
                   {"prev.bmp", 76, 18},
                   {"next.bmp", 76, 18},
                   {"stop.bmp", 76, 18},
                   {"mute.bmp", 76, 18},
                   {"playlist.bmp", 76, 18},
                   {"open.bmp", 76, 18},
                   {"number32.bmp", 108, 11},
                   {"fill_mini.bmp", 29, 5},
                   {"volume_fill.bmp", 10, 4},
                   {"playlist_skin.bmp", 272, 74},
                   {"close.bmp", 52, 13},
                   {"playlist_toolbar.bmp", 212, 18},
                   {"playlist_toolbar_hover.bmp", 212, 18},
                   {"scrollbar_button.bmp", 33, 20},
                   {"scrollbar_thumb.bmp", 33, 20},
                   {"scrollbar_bar.bmp", 11, 11}};
    for (const auto& b : bitmaps) {
        SCOPED_TRACE(b.name);
        const QImage image = ReadSkinBitmap(*zip, b.name);
        EXPECT_EQ(image.size(), QSize(b.w, b.h));
    }
    const QImage bar = ReadSkinBitmap(*zip, "player_bar.bmp");
    // Rounded left corners, the right end cut, the rest kept.
    for (const QPoint p : {QPoint(0, 0), QPoint(0, 29), QPoint(199, 15)})
        EXPECT_EQ(Rgb(bar, p.x(), p.y()), 0xFF00FFu);
    EXPECT_NE(Rgb(bar, 1, 15), 0xFF00FFu);
    // The digit cells: the key colour at (1, 1) is not a digit's colour.
    EXPECT_EQ(BuiltinDigits().size(), QSize(108, 11));
    EXPECT_NE(Rgb(BuiltinDigits(), 1, 1), Rgb(BuiltinDigits(), 3, 0));
}

TEST(SkinReader, BitmapsFailCleanly) {
    const auto huge = Open("huge-bitmap.skn");
    EXPECT_THROW(ReadSkinBitmap(*huge, "prev.bmp"), TSkinError);
    const auto zero = Open("zero-bitmap.skn");
    EXPECT_THROW(ReadSkinBitmap(*zero, "prev.bmp"), TSkinError);
    const auto png = Open("non-bmp-member.skn");
    EXPECT_THROW(ReadSkinBitmap(*png, "next.bmp"), TSkinError);
    EXPECT_THROW(ReadSkinBitmap(*png, "no-such.bmp"), TSkinError);
    EXPECT_THROW(ReadSkinBitmap(*png, "skin.xml"), TSkinError);
    // 80 MiB of zeros: refused by the member cap before it is inflated whole.
    const auto bomb = Open("bomb.skn");
    EXPECT_THROW(ReadSkinBitmap(*bomb, "paper_bar.bmp"), TSkinError);
}

TEST(SkinReader, PaletteBitmapDecodesToItsColours) {
    const auto zip = Open("paper.skn");
    const QImage bar = ReadSkinBitmap(*zip, "paper_bar.bmp");
    EXPECT_EQ(bar.format(), QImage::Format_RGB32);
    EXPECT_EQ(Rgb(bar, 0, 0), 0xFF00FFu);
    EXPECT_EQ(Rgb(bar, 239, 10), 0xFF00FFu);
    EXPECT_NE(Rgb(bar, 1, 10), 0xFF00FFu);
}

TEST(SkinReader, PixelReadsAtSkinCoordinatesStayInTheImage) {
    QImage image = Solid(3, 2, qRgb(1, 1, 1));
    image.setPixel(2, 1, qRgb(9, 9, 9));
    image.setPixel(0, 0, qRgb(5, 5, 5));
    EXPECT_EQ(ClampedPixel(image, 1000, 2000000000) & 0xFFFFFF, 0x090909u);
    EXPECT_EQ(ClampedPixel(image, -7, -1) & 0xFFFFFF, 0x050505u);
    EXPECT_EQ(ClampedPixel(QImage(), 1, 1) & 0xFFFFFF, 0u);
}

TEST(SkinReader, PlaylistSectionOfTheBuiltinSkin) {
    const auto zip = OpenBuiltin();
    TPlaylistSkin skin;
    std::string error;
    ASSERT_TRUE(ReadPlaylistSkin(*zip, skin, &error)) << error;
    EXPECT_EQ(skin.stage, TPlaylistSkin::psList);
    EXPECT_EQ(skin.position, (TRect{0, 198, 420, 397}));
    EXPECT_EQ(skin.resizeRect, (TRect{146, 20, 147, 24}));
    EXPECT_EQ(skin.background.size(), QSize(272, 74));
    EXPECT_EQ(skin.closeAlign, unsigned(akRight | akTop));  // top added
    EXPECT_EQ(skin.toolbarPosition, (TRect{57, 49, 270, 67}));
    EXPECT_EQ(skin.toolbarAlign, unsigned(akLeft | akBottom));
    EXPECT_FALSE(skin.toolbarHotImage.isNull());
    EXPECT_EQ(skin.listPosition, (TRect{3, 18, 268, 43}));
    EXPECT_EQ(skin.listColor & 0xFFFFFF, 0x2d2d2du);
}

TEST(SkinReader, PlaylistSectionAcceptsSpacesBeforeQuotesAndBareNumbers) {
    const auto zip = Open("paper.skn");
    TPlaylistSkin skin;
    std::string error;
    ASSERT_TRUE(ReadPlaylistSkin(*zip, skin, &error)) << error;
    EXPECT_EQ(skin.position, (TRect{0, 198, 420, 397}));
    EXPECT_EQ(skin.closePosition, (TRect{403, 4, 416, 17}));
    EXPECT_EQ(skin.toolbarAlign, unsigned(akBottom));
    EXPECT_TRUE(skin.toolbarHotImage.isNull());  // one state without hot_image
}

TEST(SkinReader, PlaylistSectionStopsAtTheFirstFailure) {
    const auto zip = Open("broken-xml.skn");
    TPlaylistSkin skin;
    std::string error;
    EXPECT_FALSE(ReadPlaylistSkin(*zip, skin, &error));
    EXPECT_EQ(skin.stage, TPlaylistSkin::psNone);
    EXPECT_FALSE(error.empty());
}

TEST(SkinReader, PlaylistColours) {
    const auto builtin = OpenBuiltin();
    TPlaylistColors colors;
    ASSERT_TRUE(ReadPlaylistColors(*builtin, colors));
    EXPECT_EQ(colors.text & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(colors.hilight & 0xFFFFFF, 0xf28a9fu);
    EXPECT_EQ(colors.bkgnd2 & 0xFFFFFF, 0x2d2d2du);
    EXPECT_EQ(colors.selected & 0xFFFFFF, 0x565656u);  // (0x80 + 0x2d) / 2 per channel
    const auto zip = Open("paper.skn");
    TPlaylistColors paper;
    ASSERT_TRUE(ReadPlaylistColors(*zip, paper));
    EXPECT_EQ(paper.selected & 0xFFFFFF, 0x97958fu);  // (3b + f4)/2, (3a + f1)/2, (36 + e8)/2
    qzip::ZipReader none;
    const QByteArray& bytes = BuiltinSkinArchive();
    none.openMemory(std::string_view(bytes.constData(), 22));  // not an archive: colours kept
    TPlaylistColors kept = colors;
    EXPECT_FALSE(ReadPlaylistColors(none, kept));
    EXPECT_EQ(kept.text, colors.text);
}

TEST(SkinFiles, ExtractDefaultSkinKeepsWhatItReplaces) {
    TempDir dir;
    const std::string folder = (dir.path / "QuilletSkins").string();
    ASSERT_TRUE(ExtractDefaultSkin(folder));
    const std::string path = folder + "/default.skn";
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(bytes.size(), size_t(BuiltinSkinArchive().size()));
    // Same bytes: nothing moved. Other bytes: moved aside, then replaced.
    ASSERT_TRUE(ExtractDefaultSkin(folder));
    EXPECT_FALSE(std::filesystem::exists(path + ".bad"));
    { std::ofstream(path, std::ios::binary) << "damaged"; }
    ASSERT_TRUE(ExtractDefaultSkin(folder));
    EXPECT_TRUE(std::filesystem::exists(path + ".bad"));
    EXPECT_EQ(std::filesystem::file_size(path), size_t(BuiltinSkinArchive().size()));
}

TEST(SkinFiles, ExtractDefaultSkinReportsAnUnwritableFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempDir dir;
    chmod(dir.path.c_str(), 0500);
    std::string error;
    EXPECT_FALSE(ExtractDefaultSkin((dir.path / "QuilletSkins").string(), &error));
    EXPECT_FALSE(error.empty());
    chmod(dir.path.c_str(), 0700);
}

TEST(SkinFiles, FindSkinFilePrefersTheExactName) {
    TempDir a, b;
    a.write("Blue.SKN", "x");
    b.write("blue.skn", "x");
    const std::vector<std::string> folders{a.path.string(), b.path.string()};
    EXPECT_EQ(FindSkinFile(folders, "blue.skn"), a.path.string() + "/Blue.SKN");  // first folder, any case
    EXPECT_EQ(FindSkinFile({b.path.string()}, "blue.skn"), b.path.string() + "/blue.skn");
    EXPECT_EQ(FindSkinFile(folders, "red.skn"), "");
    EXPECT_EQ(FindSkinFile(folders, "*.skn"), "");
}
