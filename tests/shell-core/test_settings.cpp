#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "platform/xml/Xml.h"
#include "shell/Settings.h"
#include "shell/UserPaths.h"

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

TEST(SettingsValues, BarAndButtonRules) {
    EXPECT_TRUE(SettingShowsBar(std::nullopt));
    EXPECT_FALSE(SettingShowsBar("false"));
    EXPECT_FALSE(SettingShowsBar("False"));
    EXPECT_FALSE(SettingShowsBar("fALSE"));
    EXPECT_TRUE(SettingShowsBar("no"));
    EXPECT_TRUE(SettingShowsBar(""));
    EXPECT_TRUE(SettingShowsBar(" false"));
    EXPECT_TRUE(SettingShowsButton("y"));
    EXPECT_FALSE(SettingShowsButton("Y"));
    EXPECT_FALSE(SettingShowsButton("yes"));
    EXPECT_FALSE(SettingShowsButton(""));
    EXPECT_EQ(SplitSettingList("y,n,,y"), (std::vector<std::string>{"y", "n", "", "y"}));
    EXPECT_EQ(SplitSettingList("Play"), (std::vector<std::string>{"Play"}));
    EXPECT_TRUE(SplitSettingList("").empty());
}

TEST(SettingsFile, FirstRunReadsNothingAndWritesNothing) {
    TempDir dir;
    TSettingsFile settings(dir.path.string());
    EXPECT_EQ(settings.readSkin("default.skn"), std::nullopt);
    EXPECT_TRUE(dir.names().empty());
}

TEST(SettingsFile, WriteCreatesTheFileAndReadReturnsTheAttributes) {
    TempDir dir;
    TSettingsFile settings(dir.path.string());
    ASSERT_TRUE(
        settings.writeSkin("default.skn", Attrs{{"button_order", "Play,Stop"}, {"button_check", "y,n"}}))
        << settings.error();
    EXPECT_EQ(dir.read("quillet.xml"),
              "<?xml version=\"1.0\"?>\n<quillet>\n  <default.skn button_order=\"Play,Stop\" "
              "button_check=\"y,n\" />\n"
              "</quillet>\n");
    ASSERT_TRUE(
        settings.writeSkin("default.skn", Attrs{{"progress_show", "false"}, {"button_check", "n,n"}}));
    const auto read = settings.readSkin("default.skn");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->buttonOrder, std::optional<std::string>("Play,Stop"));
    EXPECT_EQ(read->buttonCheck, std::optional<std::string>("n,n"));
    EXPECT_EQ(read->progressShow, std::optional<std::string>("false"));
    EXPECT_EQ(read->volumnShow, std::nullopt);
    // Element names are compared exactly.
    EXPECT_EQ(settings.readSkin("Default.skn"), std::nullopt);
    EXPECT_EQ(settings.readSkin("other.skn"), std::nullopt);
    EXPECT_TRUE(settings.takeNotice().empty());
}

TEST(SettingsFile, WriteKeepsEverythingElse) {
    TempDir dir;
    dir.write("quillet.xml",
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
              "<!-- written by hand -->\n"
              "<config version=\"2\">\n"
              "  <other.skn button_order=\"List\" extra=\"\xC6\xA4\xB7\xF4\"/>\n"
              "  <default.skn progress_show=\"False\" mine=\"keep\"><child>text</child></default.skn>\n"
              "  <notes>free text</notes>\n"
              "</config>\n");
    TSettingsFile settings(dir.path.string());
    ASSERT_TRUE(settings.writeSkin("default.skn", Attrs{{"volumn_show", "false"}})) << settings.error();
    qxml::Document doc;
    ASSERT_TRUE(doc.loadFile((dir.path / "quillet.xml").string())) << doc.error();
    const pugi::xml_node root = doc.documentElement();
    EXPECT_STREQ(root.name(), "config");
    EXPECT_EQ(qxml::attribute(root, "version"), std::optional<std::string>("2"));
    const pugi::xml_node other = qxml::findChild(root, "other.skn");
    EXPECT_EQ(qxml::attribute(other, "button_order"), std::optional<std::string>("List"));
    EXPECT_EQ(qxml::attribute(other, "extra"), std::optional<std::string>("\xE7\x9A\xAE\xE8\x82\xA4"));
    const pugi::xml_node skin = qxml::findChild(root, "default.skn");
    EXPECT_EQ(qxml::attribute(skin, "mine"), std::optional<std::string>("keep"));
    EXPECT_EQ(qxml::attribute(skin, "volumn_show"), std::optional<std::string>("false"));
    EXPECT_STREQ(qxml::findChild(skin, "child").text().get(), "text");
    EXPECT_STREQ(qxml::findChild(root, "notes").text().get(), "free text");
    EXPECT_NE(dir.read("quillet.xml").find("<!-- written by hand -->"), std::string::npos);
    const auto read = settings.readSkin("default.skn");
    ASSERT_TRUE(read);
    EXPECT_FALSE(SettingShowsBar(read->progressShow));
    EXPECT_FALSE(SettingShowsBar(read->volumnShow));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"quillet.xml"});
}

TEST(SettingsFile, DamagedFileIsIgnoredThenMovedAsideOnce) {
    TempDir dir;
    const std::string damaged = "<quillet><default.skn button_order=\"Play\"></quillet";
    dir.write("quillet.xml", damaged);
    TSettingsFile settings(dir.path.string());
    EXPECT_EQ(settings.readSkin("default.skn"), std::nullopt);
    EXPECT_FALSE(settings.error().empty());
    EXPECT_EQ(dir.read("quillet.xml"), damaged);
    EXPECT_TRUE(settings.takeNotice().empty());

    ASSERT_TRUE(settings.writeSkin("default.skn", Attrs{{"button_order", "Stop"}})) << settings.error();
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"quillet.xml", "quillet.xml.bad"}));
    EXPECT_EQ(dir.read("quillet.xml.bad"), damaged);
    const std::string notice = settings.takeNotice();
    EXPECT_NE(notice.find("quillet.xml.bad"), std::string::npos) << notice;
    EXPECT_TRUE(settings.takeNotice().empty());
    const auto read = settings.readSkin("default.skn");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->buttonOrder, std::optional<std::string>("Stop"));

    // The new file is sound: the next write neither moves nor tells.
    ASSERT_TRUE(settings.writeSkin("default.skn", Attrs{{"button_check", "y"}}));
    EXPECT_TRUE(settings.takeNotice().empty());
    EXPECT_EQ(dir.read("quillet.xml.bad"), damaged);
}

TEST(SettingsFile, FileNameLetterCaseDoesNotMatter) {
    TempDir dir;
    dir.write("Quillet.xml", "<quillet><default.skn button_order=\"Mute\"/></quillet>");
    TSettingsFile settings(dir.path.string());
    ASSERT_TRUE(settings.readSkin("default.skn"));
    EXPECT_EQ(settings.readSkin("default.skn")->buttonOrder, std::optional<std::string>("Mute"));
    ASSERT_TRUE(settings.writeSkin("default.skn", Attrs{{"button_check", "n"}}));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"Quillet.xml"});
    EXPECT_EQ(settings.path(), (dir.path / "Quillet.xml").string());
    // With both spellings present the lower-case one is the settings file.
    dir.write("quillet.xml", "<quillet><default.skn button_order=\"Open\"/></quillet>");
    EXPECT_EQ(settings.readSkin("default.skn")->buttonOrder, std::optional<std::string>("Open"));
    EXPECT_EQ(ResolveSettingsPath(dir.path.string()), (dir.path / "quillet.xml").string());
}

TEST(SettingsFile, WriteFailureLeavesNoFile) {
    TempDir dir;
    dir.write("file", "x");
    TSettingsFile settings((dir.path / "file" / "sub").string());
    EXPECT_FALSE(settings.writeSkin("default.skn", Attrs{{"button_order", "Play"}}));
    EXPECT_FALSE(settings.error().empty());
    EXPECT_EQ(dir.names(), std::vector<std::string>{"file"});
    EXPECT_FALSE(settings.writeSkin("", Attrs{{"button_order", "Play"}}));
}

TEST(SkinElementName, ValidNamesStayOthersAreEscapedReversibly) {
    EXPECT_EQ(SkinElementName("default.skn"), "default.skn");
    EXPECT_EQ(SkinElementName("\xE7\x9A\xAE\xE8\x82\xA4.skn"), "\xE7\x9A\xAE\xE8\x82\xA4.skn");
    EXPECT_EQ(SkinElementName("1 skin.skn"), "_x0031__x0020_skin.skn");
    EXPECT_EQ(SkinElementName("my_xmas.skn"), "my_xmas.skn");
    EXPECT_EQ(SkinElementName("a_x0041_.skn"), "a_x005F_x0041_.skn");
    EXPECT_EQ(SkinElementName("\xC6\xA4\xB7\xF4.skn"), "\xC6\xA4_xDCB7__xDCF4_.skn");
    EXPECT_EQ(SkinElementName(""), "");
    for (const char* const name :
         {"default.skn", "1.skn", "my skin (2).skn", "-x.skn", "a_x0041_.skn", "_x.skn", "x_", "_xABCD1234_",
          "\xC6\xA4\xB7\xF4.skn", "\xF0\x9F\x8E\xB5 music.skn", "a&b<c>\"'.skn", "tab\there",
          "my_xmas 1.skn"}) {
        const std::string element = SkinElementName(name);
        EXPECT_EQ(SkinFileNameFromElement(element), name) << element;
        qxml::Document doc;
        EXPECT_TRUE(doc.loadText("<" + element + "/>")) << name << " -> " << element;
    }
}

TEST(SkinElementName, UnusualSkinNamesHaveWorkingSettings) {
    TempDir dir;
    TSettingsFile settings(dir.path.string());
    ASSERT_TRUE(settings.writeSkin("2 cool skins.skn", Attrs{{"button_order", "List"}}));
    ASSERT_TRUE(settings.writeSkin("_x0032__x0020_cool_x0020_skins.skn", Attrs{{"button_order", "Open"}}));
    EXPECT_EQ(settings.readSkin("2 cool skins.skn")->buttonOrder, std::optional<std::string>("List"));
    EXPECT_EQ(settings.readSkin("_x0032__x0020_cool_x0020_skins.skn")->buttonOrder,
              std::optional<std::string>("Open"));
    qxml::Document doc;
    EXPECT_TRUE(doc.loadFile((dir.path / "quillet.xml").string())) << doc.error();
}

TEST(UserFolders, PortableUnlessTheProgramFolderIsReadOnly) {
    TUserFolders f = ResolveUserFolders("/opt/quillet/", true, "/xdg/config", "/xdg/data", "/home/u");
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.configWrite, "/opt/quillet");
    EXPECT_EQ(f.dataRead, std::vector<std::string>{"/opt/quillet"});

    f = ResolveUserFolders("/opt/quillet", false, "/xdg/config/", "/xdg/data", "/home/u");
    EXPECT_FALSE(f.portable);
    EXPECT_EQ(f.configWrite, "/xdg/config/quillet");
    EXPECT_EQ(f.dataWrite, "/xdg/data/quillet");
    EXPECT_EQ(f.configRead, (std::vector<std::string>{"/xdg/config/quillet", "/opt/quillet"}));
    EXPECT_EQ(f.dataRead, (std::vector<std::string>{"/xdg/data/quillet", "/opt/quillet"}));

    // Unset, empty or relative XDG variables fall back to HOME.
    f = ResolveUserFolders("/usr/lib/quillet", false, nullptr, "relative", "/home/u/");
    EXPECT_EQ(f.configWrite, "/home/u/.config/quillet");
    EXPECT_EQ(f.dataWrite, "/home/u/.local/share/quillet");
    f = ResolveUserFolders("/usr/lib/quillet", false, "", nullptr, nullptr);
    EXPECT_TRUE(f.portable);
    EXPECT_EQ(f.configWrite, "/usr/lib/quillet");
}

TEST(SettingsFile, UserFolderFirstThenProgramFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir.path / "exe");
    dir.write("exe/quillet.xml", "<quillet><default.skn button_order=\"List\"/><a.skn x=\"1\"/></quillet>");
    const std::string user = (dir.path / "config" / "quillet").string();
    TSettingsFile settings(std::vector<std::string>{user, (dir.path / "exe").string()});
    EXPECT_EQ(settings.readSkin("default.skn")->buttonOrder, std::optional<std::string>("List"));
    // The first write carries the program folder's file over to the user's.
    ASSERT_TRUE(settings.writeSkin("default.skn", Attrs{{"button_check", "n"}})) << settings.error();
    EXPECT_EQ(settings.path(), user + "/quillet.xml");
    EXPECT_EQ(dir.read("exe/quillet.xml"),
              "<quillet><default.skn button_order=\"List\"/><a.skn x=\"1\"/></quillet>");
    const auto read = settings.readSkin("default.skn");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->buttonOrder, std::optional<std::string>("List"));
    EXPECT_EQ(read->buttonCheck, std::optional<std::string>("n"));
    EXPECT_TRUE(settings.readSkin("a.skn"));
    // A damaged file in the program folder is neither moved nor overwritten.
    TempDir other;
    std::filesystem::create_directory(other.path / "exe");
    other.write("exe/quillet.xml", "<broken");
    TSettingsFile second(
        std::vector<std::string>{(other.path / "user").string(), (other.path / "exe").string()});
    ASSERT_TRUE(second.writeSkin("default.skn", Attrs{{"button_check", "y"}})) << second.error();
    EXPECT_EQ(other.read("exe/quillet.xml"), "<broken");
    EXPECT_TRUE(second.takeNotice().empty());
    EXPECT_EQ(second.readSkin("default.skn")->buttonCheck, std::optional<std::string>("y"));
}

}  // namespace
