// The language file of the engine's error texts: its sections and lines, and
// how a text is translated by its first line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Translation.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(Translation, ReadsTheCommonAndEngineSectionsOnly) {
    TTranslationTable table;
    table.Parse(
        "greeting = before any section\n"
        "[COMMON]\n"
        "Error = Fehler\n"
        "[TFMain]\n"
        "Play = Abspielen\n"
        "[TVAVIVerovu]\n"
        "Can't initialize device = Gerät nicht bereit\n"
        "[TFPlayList]\n"
        "List = Liste\n"
        "[COMMON]\n"
        "Later = not read\n");
    EXPECT_EQ(table.Entries(),
              (Entries{{"Error", "Fehler"}, {"Can't initialize device", "Gerät nicht bereit"}}));

    // Section names are compared in upper case; a second common section
    // before the engine's is read too, and the engine's section may be first.
    table.Parse("[common]\na=1\n[other]\nb=2\n[Common]\nc=3\n[tvaviverovu]\nd=4\n[common]\ne=5\n");
    EXPECT_EQ(table.Entries(), (Entries{{"a", "1"}, {"c", "3"}, {"d", "4"}}));
    table.Parse("[TVAVIVEROVU]\nd=4\n[COMMON]\ne=5\n");
    EXPECT_EQ(table.Entries(), (Entries{{"d", "4"}}));
}

TEST(Translation, LineRules) {
    TTranslationTable table;
    table.Parse(
        "\xEF\xBB\xBF[COMMON]\r\n"
        "// a comment = not an entry\r\n"
        "\r\n"
        "   \t  \r\n"
        "$skipped = 1\r\n"
        "&skipped = 2\r\n"
        "*skipped = 3\r\n"
        "^skipped = 4\r\n"
        "  padded key   =   padded value  \r\n"
        "quoted = \"with quotes\"\r\n"
        "inner = say \"hi\" now\r\n"
        "once = \"\"twice\"\"\r\n"
        "equals = a = b\r\n"
        "empty =\r\n"
        "emptyquoted = \"\"\r\n"
        "no equals sign\r\n"
        "  [TVAVIVerovu]  \r"
        "mac = line ends\r"
        "last = no line end");
    EXPECT_EQ(table.Entries(), (Entries{{"padded key", "padded value"},
                                        {"quoted", "with quotes"},
                                        {"inner", "say \"hi\" now"},
                                        {"once", "\"twice\""},
                                        {"equals", "a = b"},
                                        {"mac", "line ends"},
                                        {"last", "no line end"}}));
}

TEST(Translation, FileBytesEnterAsUtf8) {
    TTranslationTable table;
    // GBK: "错误" (error).
    table.Parse("[COMMON]\nError = \xB4\xED\xCE\xF3\n");
    EXPECT_EQ(table.Caption(), "\xE9\x94\x99\xE8\xAF\xAF");
    // UTF-8 stays as it is.
    table.Parse("[COMMON]\nError = \xE9\x94\x99\xE8\xAF\xAF\n");
    EXPECT_EQ(table.Caption(), "\xE9\x94\x99\xE8\xAF\xAF");
    // After a byte-order mark a damaged byte does not turn the file into GBK.
    table.Parse("\xEF\xBB\xBF[COMMON]\nError = \xE9\x94\x99\nOther = \xFF\n");
    EXPECT_EQ(table.Caption(), "\xE9\x94\x99");
    ASSERT_NE(table.Find("Other"), nullptr);
    EXPECT_EQ(*table.Find("Other"), "\xC3\xBF");
}

TEST(Translation, CaptionAndFind) {
    TTranslationTable table;
    EXPECT_EQ(table.Caption(), "Error");
    EXPECT_EQ(table.Find("Error"), nullptr);
    table.Parse("[COMMON]\nerror = lower case key\nError = Fout\nError = second\n");
    EXPECT_EQ(table.Caption(), "Fout");  // keys compare exactly; the first one counts
    table.Clear();
    EXPECT_EQ(table.Caption(), "Error");
}

TEST(Translation, TranslatesTheFirstLine) {
    TTranslationTable table;
    table.Parse(
        "[TVAVIVerovu]\n"
        "Can't initialize device = Kein Gerät\n"
        "Failed to get buffer. = Kein Puffer.\n");
    // Without a translation the text stays as it is.
    EXPECT_EQ(table.Translate("Unknown text\nsecond"), "Unknown text\nsecond");
    EXPECT_EQ(table.Translate("can't initialize device"), "can't initialize device");
    EXPECT_EQ(table.Translate(""), "");
    // One line, and two lines whose rest follows unchanged.
    EXPECT_EQ(table.Translate("Can't initialize device"), "Kein Gerät");
    EXPECT_EQ(table.Translate("Failed to get buffer.\n - Cannot run Winamp input plug-ins.\n - more"),
              "Kein Puffer.\n - Cannot run Winamp input plug-ins.\n - more");
    EXPECT_EQ(table.Translate("Can't initialize device\n"), "Kein Gerät\n");
    // A text with CR LF line ends keeps them.
    EXPECT_EQ(table.Translate("Can't initialize device\r\n(error code: 3)"), "Kein Gerät\r\n(error code: 3)");

    TTranslationTable none;
    EXPECT_EQ(none.Translate("Can't initialize device\nx"), "Can't initialize device\nx");
}

class TranslationFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillet-lang-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    fs::path dir;
};

TEST_F(TranslationFolder, TakesTheFirstLanguageFileInNameOrder) {
    write("lang_zh.txt", "[COMMON]\nError = zh\n");
    write("lang_de.txt", "[COMMON]\nError = de\n");
    write("lang.txt", "[COMMON]\nError = no underscore\n");
    write("lang_aa.txt.bak", "[COMMON]\nError = bak\n");
    write("Lang_aa.txt", "[COMMON]\nError = capital\n");
    fs::create_directories(dir / "lang_ab.txt");  // a folder is not a file
    TTranslationTable table;
    ASSERT_TRUE(table.LoadFromFolder(dir.string()));
    EXPECT_EQ(table.Caption(), "de");
}

TEST_F(TranslationFolder, NoFileLeavesAnEmptyTable) {
    TTranslationTable table;
    table.Parse("[COMMON]\nError = old\n");
    EXPECT_FALSE(table.LoadFromFolder(dir.string()));
    EXPECT_TRUE(table.Entries().empty());
    EXPECT_FALSE(table.LoadFromFolder((dir / "missing").string()));
    EXPECT_EQ(table.Caption(), "Error");
}

TEST_F(TranslationFolder, AFileTooLargeToBeALanguageFileIsNotRead) {
    std::string big = "[COMMON]\nError = big\n";
    big.resize(5u * 1024 * 1024, '\n');
    write("lang_big.txt", big);
    TTranslationTable table;
    EXPECT_FALSE(table.LoadFromFolder(dir.string()));
    EXPECT_EQ(table.Caption(), "Error");
}

}  // namespace
