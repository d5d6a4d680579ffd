#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/text/Text.h"
#include "platform/xml/Xml.h"

namespace fs = std::filesystem;

namespace {

// 皮肤 ("skin") in GBK and in UTF-8.
const std::string kGbk = "\xC6\xA4\xB7\xF4";
const std::string kUtf8 = "\xE7\x9A\xAE\xE8\x82\xA4";

std::string nameOf(const std::string& bytes) {
    qxml::Document doc;
    if (!doc.loadText(bytes)) return "<error: " + doc.error() + ">";
    return qxml::attribute(doc.documentElement(), "name").value_or("<absent>");
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "qxml-test-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path path;
};

TEST(XmlLoad, ByteOrderMarkDecidesThenTheDeclaration) {
    const std::string body = "<skin name=\"" + kUtf8 + "\"/>";
    EXPECT_EQ(nameOf("\xEF\xBB\xBF" + body), kUtf8);
    // The mark wins over a declaration that says otherwise.
    EXPECT_EQ(nameOf("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"GB2312\"?>" + body), kUtf8);
    const std::string utf16 = qtext::utf8ToUtf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body);
    EXPECT_EQ(nameOf("\xFF\xFE" + utf16), kUtf8);
    std::string be = utf16;
    for (size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
    EXPECT_EQ(nameOf("\xFE\xFF" + be), kUtf8);
    // UTF-16 without a mark is recognised by its "<?" start.
    EXPECT_EQ(nameOf(utf16), kUtf8);
}

TEST(XmlLoad, LegacyAndDeclaredEncodings) {
    const std::string gbkBody = "<skin name=\"" + kGbk + "\"/>";
    EXPECT_EQ(nameOf("<?xml version=\"1.0\" encoding=\"GB2312\"?>" + gbkBody), kUtf8);
    EXPECT_EQ(nameOf("<?xml version='1.0' encoding='gbk' standalone='yes'?>" + gbkBody), kUtf8);
    // No declaration, or one without an encoding: GBK bytes by the one rule.
    EXPECT_EQ(nameOf(gbkBody), kUtf8);
    EXPECT_EQ(nameOf("<?xml version=\"1.0\"?>\n" + gbkBody), kUtf8);
    EXPECT_EQ(nameOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?><skin name=\"" + kUtf8 + "\"/>"), kUtf8);
    // A declared GBK file is read as GBK even where its bytes happen to be
    // valid UTF-8 (C6 A4 is also the UTF-8 of U+01A4).
    EXPECT_EQ(nameOf("<?xml version=\"1.0\" encoding=\"GB2312\"?><skin name=\"\xC6\xA4\"/>"), "\xE7\x9A\xAE");
    EXPECT_EQ(nameOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><skin name=\"caf\xE9\"/>"),
              "caf\xC3\xA9");
}

TEST(XmlLoad, ParseErrorsGiveAText) {
    qxml::Document doc;
    EXPECT_FALSE(doc.loadText("<a>\n<b></a>"));
    EXPECT_FALSE(doc.error().empty());
    EXPECT_NE(doc.error().find("line 2"), std::string::npos) << doc.error();
    EXPECT_FALSE(doc.documentElement());
    EXPECT_FALSE(doc.loadText(""));
    EXPECT_FALSE(doc.error().empty());
    EXPECT_FALSE(doc.loadText("just text"));
    EXPECT_FALSE(doc.loadFile("/nonexistent/quillet.xml"));
    EXPECT_NE(doc.error().find("/nonexistent/quillet.xml"), std::string::npos);
    // A good load after a failure clears the error.
    EXPECT_TRUE(doc.loadText("<anything/>"));
    EXPECT_TRUE(doc.error().empty());
    EXPECT_STREQ(doc.documentElement().name(), "anything");
}

TEST(XmlDom, AttributesAndChildren) {
    qxml::Document doc;
    ASSERT_TRUE(doc.loadText("<r><Skin/>text<skin a=\"\" b=\"1\"/><skin a=\"second\"/></r>"));
    const pugi::xml_node root = doc.documentElement();
    const pugi::xml_node skin = qxml::findChild(root, "skin");
    ASSERT_TRUE(skin);
    EXPECT_EQ(qxml::attribute(skin, "a"), std::optional<std::string>(""));
    EXPECT_EQ(qxml::attribute(skin, "b"), std::optional<std::string>("1"));
    EXPECT_EQ(qxml::attribute(skin, "c"), std::nullopt);
    EXPECT_FALSE(qxml::findChild(root, "SKIN"));
    EXPECT_FALSE(qxml::findChild(root, "text"));

    pugi::xml_node made = qxml::childOrCreate(root, "new");
    EXPECT_EQ(qxml::childOrCreate(root, "new"), made);
    EXPECT_EQ(qxml::childOrCreate(root, "skin"), skin);
    qxml::setAttribute(skin, "b", "2");
    qxml::setAttribute(skin, "c", "x&\"<");
    EXPECT_EQ(qxml::attribute(skin, "b"), std::optional<std::string>("2"));
    EXPECT_EQ(qxml::attribute(skin, "c"), std::optional<std::string>("x&\"<"));
    EXPECT_EQ(std::distance(skin.attributes_begin(), skin.attributes_end()), 3);
}

TEST(XmlDom, ChildIndexFindsTheFirstElementOfEachName) {
    qxml::Document doc;
    ASSERT_TRUE(doc.loadText("<r><item0 n=\"a\"/><item1/><!--item2--><item0 n=\"b\"/>item3</r>"));
    const qxml::ChildIndex index(doc.documentElement());
    EXPECT_EQ(qxml::attribute(index.find("item0"), "n"), std::optional<std::string>("a"));
    EXPECT_TRUE(index.find("item1"));
    EXPECT_FALSE(index.find("item2"));
    EXPECT_FALSE(index.find("item3"));
    EXPECT_FALSE(index.find("Item1"));
}

TEST(XmlSave, FormatIsDeclarationTwoSpacesAndUtf8) {
    qxml::Document doc;
    pugi::xml_node root = doc.createDocumentElement("quillet");
    pugi::xml_node skin = qxml::childOrCreate(root, "default.skn");
    qxml::setAttribute(skin, "button_order", "Play,Stop");
    qxml::setAttribute(qxml::childOrCreate(skin, "inner"), "name", kUtf8);
    qxml::childOrCreate(root, "empty");
    const std::string expected =
        "<?xml version=\"1.0\"?>\n"
        "<quillet>\n"
        "  <default.skn button_order=\"Play,Stop\">\n"
        "    <inner name=\"" +
        kUtf8 +
        "\" />\n"
        "  </default.skn>\n"
        "  <empty />\n"
        "</quillet>\n";
    EXPECT_EQ(doc.toText(), expected);

    TempDir dir;
    ASSERT_TRUE(doc.save((dir.path / "out.xml").string())) << doc.error();
    EXPECT_EQ(readFile(dir.path / "out.xml"), expected);
}

TEST(XmlSave, LoadAndSaveKeepsOtherContent) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
        "<!-- kept comment -->\n"
        "<quillet>\n"
        "  <?my-pi data?>\n"
        "  <other.skn keep=\"" +
        kGbk +
        "\">text<![CDATA[<raw>]]></other.skn>\n"
        "</quillet>\n";
    qxml::Document doc;
    ASSERT_TRUE(doc.loadText(text)) << doc.error();
    const std::string saved = doc.toText();
    EXPECT_EQ(saved.find("encoding"), std::string::npos);
    EXPECT_NE(saved.find("<!-- kept comment -->"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<?my-pi data?>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("keep=\"" + kUtf8 + "\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("<![CDATA[<raw>]]>"), std::string::npos) << saved;
    qxml::Document again;
    ASSERT_TRUE(again.loadText(saved)) << again.error();
    EXPECT_EQ(again.toText(), saved);
}

TEST(XmlSave, WritesAtomicallyAndCleansUpOnFailure) {
    TempDir dir;
    const fs::path target = dir.path / "quillet.xml";
    std::string error;
    ASSERT_TRUE(qxml::writeFileAtomically(target.string(), "first", &error)) << error;
    ASSERT_TRUE(qxml::writeFileAtomically(target.string(), "second", &error)) << error;
    EXPECT_EQ(readFile(target), "second");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"quillet.xml"});
    EXPECT_EQ(
        fs::status(target).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    // The last step fails (a folder is in the way): no temporary file stays.
    fs::create_directories(dir.path / "busy" / "child");
    EXPECT_FALSE(qxml::writeFileAtomically((dir.path / "busy").string(), "x", &error));
    EXPECT_NE(error.find("busy"), std::string::npos) << error;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"busy", "quillet.xml"}));

    // No folder at all.
    EXPECT_FALSE(qxml::writeFileAtomically((dir.path / "missing" / "x.xml").string(), "x", &error));

    // A folder that is not writable (root may write anyway, so only as a
    // normal user): the target keeps its content.
    if (geteuid() != 0) {
        fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(qxml::writeFileAtomically(target.string(), "third", &error));
        fs::permissions(dir.path, fs::perms::owner_all);
        EXPECT_EQ(readFile(target), "second");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"busy", "quillet.xml"}));
    }
}

TEST(XmlSave, MoveAsideReplacesAnOlderCopy) {
    TempDir dir;
    const fs::path target = dir.path / "playlist.xml";
    EXPECT_EQ(qxml::moveAside(target.string()), "");
    writeFile(target, "old damage");
    EXPECT_EQ(qxml::moveAside(target.string()), target.string() + ".bad");
    writeFile(target, "new damage");
    EXPECT_EQ(qxml::moveAside(target.string()), target.string() + ".bad");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(readFile(target.string() + ".bad"), "new damage");
}

}  // namespace

TEST(XmlDamagedUtf8, OneBadByteIsRepairedInPlaceNotDecodedAsGbk) {
    // "我的歌" in UTF-8 with one stray 0xFF: the rest must stay as written.
    qxml::Document doc;
    ASSERT_TRUE(doc.loadText("<?xml version=\"1.0\"?><r a=\"我的\xFF歌\"/>"));
    EXPECT_EQ(qxml::attribute(doc.documentElement(), "a"), std::optional<std::string>("我的\xC3\xBF歌"));
    // The same with a UTF-8 byte-order mark.
    ASSERT_TRUE(doc.loadText("\xEF\xBB\xBF<r a=\"我的\xFF\"/>"));
    EXPECT_EQ(qxml::attribute(doc.documentElement(), "a"), std::optional<std::string>("我的\xC3\xBF"));
    // Legacy GBK text without a declaration is still read as GBK.
    ASSERT_TRUE(doc.loadText("<r a=\"\xD6\xD0\xCE\xC4\"/>"));
    EXPECT_EQ(qxml::attribute(doc.documentElement(), "a"), std::optional<std::string>("中文"));
}
