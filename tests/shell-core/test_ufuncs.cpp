#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "TempDir.h"
#include "platform/text/Text.h"
#include "platform/xml/Xml.h"
#include "shell/Ufuncs.h"

namespace {

// 皮肤 ("skin") in GBK and in UTF-8.
const std::string kGbk = "\xC6\xA4\xB7\xF4";
const std::string kUtf8 = "\xE7\x9A\xAE\xE8\x82\xA4";

TEST(ParsePosition, FourIntegersAndZeroForAnythingElse) {
    EXPECT_EQ(ParsePosition("84, 73, 103, 91"), (TRect{84, 73, 103, 91}));
    EXPECT_EQ(ParsePosition(" 57, 49, 270, 67"), (TRect{57, 49, 270, 67}));
    // A number followed by a space is not a number.
    EXPECT_EQ(ParsePosition("84, 73, 103, 91 "), (TRect{84, 73, 103, 0}));
    EXPECT_EQ(ParsePosition("1 ,2,3,4"), (TRect{0, 2, 3, 4}));
    EXPECT_EQ(ParsePosition("1,x,3.5,"), (TRect{1, 0, 0, 0}));
    EXPECT_EQ(ParsePosition("-5,+3,2147483647,2147483648"), (TRect{-5, 3, INT_MAX, 0}));
    EXPECT_EQ(ParsePosition("-2147483648,-,+,99999999999999999999"), (TRect{INT_MIN, 0, 0, 0}));
    EXPECT_EQ(ParsePosition("1,2,3,4,5"), (TRect{1, 2, 3, 4}));
    const TRect r = ParsePosition("3, 0, 49, 5");
    EXPECT_EQ(r.width(), 46);
    EXPECT_EQ(r.height(), 5);
}

TEST(ParsePosition, MissingNumbersAreZero) {
    EXPECT_EQ(ParsePosition("1,2"), (TRect{1, 2, 0, 0}));
    EXPECT_EQ(ParsePosition("7"), (TRect{7, 0, 0, 0}));
    EXPECT_EQ(ParsePosition(""), (TRect{0, 0, 0, 0}));
}

TEST(ParseColor, HashThenSixHexDigits) {
    EXPECT_EQ(ParseColor("#ff0000"), (TSkinColor{255, 0, 0}));
    EXPECT_EQ(ParseColor("#81FE00")->rgb(), 0x81FE00u);
    EXPECT_EQ(ParseColor("#c0c0c0 and more")->rgb(), 0xC0C0C0u);
    EXPECT_EQ(ParseColor("x0a0b0c")->rgb(), 0x0A0B0Cu);  // the first character is not checked
    EXPECT_EQ(ParseColor("#fff"), std::nullopt);
    EXPECT_EQ(ParseColor("#ff00g0"), std::nullopt);
    EXPECT_EQ(ParseColor("#ff 000"), std::nullopt);
    EXPECT_EQ(ParseColor(""), std::nullopt);
}

TEST(ParseAlign, WordsWithLetterCaseSignificant) {
    EXPECT_EQ(ParseAlign("bottom+left"), unsigned(akLeft | akBottom));
    EXPECT_EQ(ParseAlign("right"), unsigned(akRight));
    EXPECT_EQ(ParseAlign("Right TOP"), 0u);
    EXPECT_EQ(ParseAlign("lefttoprightbottom"), unsigned(akLeft | akTop | akRight | akBottom));
    EXPECT_EQ(ParseAlign(""), 0u);
}

TEST(EnsureXmlDeclaration, AddsGb2312OnlyWhereNoEncodingIsKnown) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"yes\" ?>\r\n";
    EXPECT_EQ(EnsureXmlDeclaration("<skin/>"), decl + "<skin/>");
    EXPECT_EQ(EnsureXmlDeclaration(""), decl);
    EXPECT_EQ(EnsureXmlDeclaration("<?xml-stylesheet href=\"a\"?><skin/>"),
              decl + "<?xml-stylesheet href=\"a\"?><skin/>");
    for (const std::string& unchanged : {
             std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><skin/>"),
             std::string("<skin note=\"encoding=x\"/>"),
             std::string("<?xml version=\"1.0\" encoding = \"UTF-8\"?><skin/>"),
             std::string("\xEF\xBB\xBF<skin/>"),
             std::string("\xFF\xFE<\0s\0/\0>\0", 10),
             std::string("\xFE\xFF\0<\0s\0/\0>", 10),
             std::string("<?xml version=\"1.0\"<skin/>"),
         }) {
        EXPECT_EQ(EnsureXmlDeclaration(unchanged), unchanged);
    }
}

TEST(EnsureXmlDeclaration, CompletesAnExistingDeclaration) {
    EXPECT_EQ(EnsureXmlDeclaration("<?xml version=\"1.0\"?>\n<skin/>"),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<skin/>");
    EXPECT_EQ(EnsureXmlDeclaration("<?xml version='1.0' standalone='yes'?><skin/>"),
              "<?xml version='1.0' encoding=\"GB2312\" standalone='yes'?><skin/>");
    EXPECT_EQ(EnsureXmlDeclaration("\r\n<?xml version = \"1.0\" ?><skin/>"),
              "\r\n<?xml version = \"1.0\" encoding=\"GB2312\" ?><skin/>");
}

TEST(QuoteBareNumbers, QuotesOnlyUnquotedValuesInTags) {
    EXPECT_EQ(QuoteBareNumbers("<a resize_tile=1 b=\"1 2\">"), "<a resize_tile=\"1\" b=\"1 2\">");
    EXPECT_EQ(QuoteBareNumbers("<a x=12/><b y=3></b>"), "<a x=\"12\"/><b y=\"3\"></b>");
    EXPECT_EQ(QuoteBareNumbers("<a x = 5 y='6 7'\tz=8\n/>"), "<a x = \"5\" y='6 7'\tz=\"8\"\n/>");
    EXPECT_EQ(QuoteBareNumbers("<a x=1a\"b<c>"), "<a x=\"1a&quot;b&lt;c\">");
    // Values that are not numbers, text, comments, CDATA, PIs stay.
    const std::string untouched =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"x=1 \">]><r a=b>x=1 y<!-- c=2 --><![CDATA[d=3 "
        "]]><?p e=4 ?></r>";
    EXPECT_EQ(QuoteBareNumbers(untouched), untouched);
    EXPECT_EQ(QuoteBareNumbers("<a x=1"), "<a x=\"1\"");
    EXPECT_EQ(QuoteBareNumbers("<a x=\"1"), "<a x=\"1");
    EXPECT_EQ(QuoteBareNumbers("<"), "<");
}

TEST(PrepareSkinXmlText, RemovesSpacesBeforeQuotes) {
    EXPECT_EQ(RemoveSpacesBeforeQuotes("<a p=\"84, 73 \"  b= \"x\"/>"), "<a p=\"84, 73\"  b=\"x\"/>");
    EXPECT_EQ(RemoveSpacesBeforeQuotes("    \""), "\"");
}

std::string loadAttribute(const std::string& raw, const char* element, const char* name) {
    qxml::Document doc;
    if (!doc.loadText(PrepareSkinXmlText(raw))) return "<error: " + doc.error() + ">";
    const pugi::xml_node node = qxml::findChild(doc.documentElement(), element);
    return qxml::attribute(node, name).value_or("<absent>");
}

TEST(PrepareSkinXmlText, SkinTextsReadInTheirEncoding) {
    const std::string gbkBody = "<skin><playlist_window image=\"" + kGbk + ".bmp\"/></skin>";
    EXPECT_EQ(loadAttribute(gbkBody, "playlist_window", "image"), kUtf8 + ".bmp");
    EXPECT_EQ(loadAttribute("<?xml version=\"1.0\"?>\r\n" + gbkBody, "playlist_window", "image"),
              kUtf8 + ".bmp");
    EXPECT_EQ(loadAttribute("<?xml version=\"1.0\" encoding=\"UTF-8\"?><skin><playlist_window image=\"" +
                                kUtf8 + ".bmp\"/></skin>",
                            "playlist_window", "image"),
              kUtf8 + ".bmp");
    // UTF-16 with a mark: converted, and the mark keeps the encoding decided.
    const std::string utf16 =
        "\xFF\xFE" + qtext::utf8ToUtf16le("<skin><playlist_window image=\"" + kUtf8 + " .bmp \"/></skin>");
    EXPECT_EQ(loadAttribute(utf16, "playlist_window", "image"), kUtf8 + " .bmp");
}

// The mini window's reader applies only EnsureXmlDeclaration.
TEST(EnsureXmlDeclaration, SkinTextsReadInTheirEncoding) {
    const auto image = [](const std::string& raw) {
        qxml::Document doc;
        if (!doc.loadText(EnsureXmlDeclaration(raw))) return "<error: " + doc.error() + ">";
        return qxml::attribute(qxml::findChild(doc.documentElement(), "mini_window"), "image").value_or("");
    };
    const std::string gbkBody = "<skin><mini_window image=\"" + kGbk + ".bmp\"/></skin>";
    EXPECT_EQ(image(gbkBody), kUtf8 + ".bmp");
    EXPECT_EQ(image("<?xml version=\"1.0\"?>" + gbkBody), kUtf8 + ".bmp");
    EXPECT_EQ(image("<?xml version=\"1.0\" encoding=\"utf-8\"?><skin><mini_window image=\"" + kUtf8 +
                    ".bmp\"/></skin>"),
              kUtf8 + ".bmp");
    EXPECT_EQ(image("\xEF\xBB\xBF<skin><mini_window image=\"" + kUtf8 + ".bmp\"/></skin>"), kUtf8 + ".bmp");
}

TEST(PrepareSkinXmlText, SloppyPlaylistSectionParses) {
    const std::string raw =
        "<skin>\r\n"
        "  <playlist_window image=\"playlist_skin.bmp\" position=\"84, 73, 103, 91 \" resize_tile=1 "
        "resize_rect= \"146, 20, 147, 24\">\r\n"
        "    <close position=\"403, 4, 416, 17\" image=\"close.bmp\" align=\"right\" />\r\n"
        "  </playlist_window>\r\n"
        "</skin>\r\n";
    qxml::Document doc;
    ASSERT_TRUE(doc.loadText(PrepareSkinXmlText(raw))) << doc.error();
    const pugi::xml_node window = qxml::findChild(doc.documentElement(), "playlist_window");
    ASSERT_TRUE(window);
    EXPECT_EQ(ParsePosition(qxml::attribute(window, "position").value()), (TRect{84, 73, 103, 91}));
    EXPECT_EQ(qxml::attribute(window, "resize_tile"), std::optional<std::string>("1"));
    EXPECT_EQ(ParsePosition(qxml::attribute(window, "resize_rect").value()), (TRect{146, 20, 147, 24}));
    EXPECT_EQ(ParseAlign(qxml::attribute(qxml::findChild(window, "close"), "align").value()),
              unsigned(akRight));
    // Without the preparation the same text does not parse.
    EXPECT_FALSE(doc.loadText(raw));
}

TEST(ListFiles, SortedNamesOfMatchingFiles) {
    TempDir dir;
    for (const char* name :
         {"b.skn", "A.SKN", "c.txt", ".hidden.skn", "lang_cn.txt", "lang_.txt", "x.skn.bak"}) {
        dir.write(name, "x");
    }
    std::filesystem::create_directory(dir.path / "folder.skn");
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(ListFiles((dir.path / "*.skn").string(), names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"A.SKN", "b.skn"}));
    EXPECT_EQ(ListFiles((dir.path / "lang_*.txt").string(), names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"lang_.txt", "lang_cn.txt"}));
    EXPECT_EQ(ListFiles((dir.path / "?.txt").string(), names), 1);
    EXPECT_EQ(ListFiles((dir.path / "*").string(), names), 6);
    EXPECT_EQ(ListFiles((dir.path / "b.skn").string(), names), 1);
    EXPECT_EQ(ListFiles((dir.path / "missing" / "*.skn").string(), names), 0);
    EXPECT_TRUE(names.empty());
}

TEST(FormatDuration, MinutesBelowAnHourElseHours) {
    EXPECT_EQ(FormatDuration(0), "00:00");
    EXPECT_EQ(FormatDuration(59999), "00:59");
    EXPECT_EQ(FormatDuration(61000), "01:01");
    EXPECT_EQ(FormatDuration(3599999), "59:59");
    EXPECT_EQ(FormatDuration(3600000), "01:00:00");
    EXPECT_EQ(FormatDuration(86399999), "23:59:59");
    EXPECT_EQ(FormatDuration(25 * 3600000LL + 61000), "01:01:01");
    EXPECT_EQ(FormatDuration(-5), "00:00");
    EXPECT_EQ(FormatDuration(INT64_MAX).size(), 8u);
}

}  // namespace
