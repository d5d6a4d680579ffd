#include "shell/Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text/Text.h"
#include "platform/xml/Xml.h"
#include "shell/UserPaths.h"

namespace {

constexpr std::string_view kSettingsName = "quillet.xml";
constexpr const char* kRootName = "quillet";

bool inRanges(char32_t cp, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [cp](auto r) { return cp >= r.first && cp <= r.second; });
}

// XML 1.0 (fifth edition) NameStartChar and NameChar.
bool isNameStartChar(char32_t cp) {
    return cp == ':' || cp == '_' || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') ||
           inRanges(cp, {{0xC0, 0xD6},
                         {0xD8, 0xF6},
                         {0xF8, 0x2FF},
                         {0x370, 0x37D},
                         {0x37F, 0x1FFF},
                         {0x200C, 0x200D},
                         {0x2070, 0x218F},
                         {0x2C00, 0x2FEF},
                         {0x3001, 0xD7FF},
                         {0xF900, 0xFDCF},
                         {0xFDF0, 0xFFFD},
                         {0x10000, 0xEFFFF}});
}

bool isNameChar(char32_t cp) {
    return isNameStartChar(cp) || cp == '-' || cp == '.' || (cp >= '0' && cp <= '9') || cp == 0xB7 ||
           inRanges(cp, {{0x300, 0x36F}, {0x203F, 0x2040}});
}

// Decodes the UTF-8 character at s[i]; returns its length, or 0 when the
// bytes there are not valid UTF-8.
size_t decodeChar(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t length = b0 < 0x80                    ? 1
                    : (b0 >= 0xC2 && b0 <= 0xDF) ? 2
                    : (b0 >= 0xE0 && b0 <= 0xEF) ? 3
                    : (b0 >= 0xF0 && b0 <= 0xF4) ? 4
                                                 : 0;
    if (length == 0 || i + length > s.size()) return 0;
    if (!qtext::isValidUtf8(s.substr(i, length))) return 0;
    cp = length == 1 ? b0 : b0 & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return length;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An escape _xHHHH_ or _xHHHHHHHH_ at s[i]: its length and code point.
size_t escapeAt(std::string_view s, size_t i, char32_t& cp) {
    if (s.substr(i, 2) != "_x") return 0;
    for (const size_t digits : {size_t{4}, size_t{8}}) {
        if (i + 2 + digits >= s.size() || s[i + 2 + digits] != '_') continue;
        char32_t value = 0;
        bool ok = true;
        for (size_t k = 0; k < digits && ok; ++k) {
            const int d = hexDigit(s[i + 2 + k]);
            ok = d >= 0;
            value = value * 16 + static_cast<char32_t>(std::max(d, 0));
        }
        if (ok) {
            cp = value;
            return digits + 3;
        }
    }
    return 0;
}

void appendEscape(std::string& out, char32_t cp) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, cp <= 0xFFFF ? "_x%04X_" : "_x%08X_", static_cast<unsigned>(cp));
    out += buffer;
}

bool isPlainName(std::string_view name) {
    size_t i = 0;
    while (i < name.size()) {
        char32_t cp = 0;
        const size_t n = decodeChar(name, i, cp);
        if (n == 0) return false;
        if (!(i == 0 ? isNameStartChar(cp) : isNameChar(cp))) return false;
        char32_t ignored = 0;
        if (escapeAt(name, i, ignored) != 0) return false;
        i += n;
    }
    return !name.empty();
}

std::optional<std::string> readWholeFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return content.str();
}

}  // namespace

bool SettingShowsBar(const std::optional<std::string>& value) {
    return !value || qtext::asciiUpper(*value) != "FALSE";
}

bool SettingShowsButton(std::string_view entry) {
    return entry == "y";
}

std::vector<std::string> SplitSettingList(std::string_view list) {
    std::vector<std::string> words;
    if (list.empty()) return words;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        words.emplace_back(list.substr(start, comma == std::string_view::npos ? list.npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return words;
}

std::string SkinElementName(std::string_view name) {
    if (name.empty() || isPlainName(name)) return std::string(name);
    std::string out;
    size_t i = 0;
    while (i < name.size()) {
        char32_t cp = 0;
        const size_t n = decodeChar(name, i, cp);
        if (n == 0) {
            // A byte outside valid UTF-8: U+DC80..U+DCFF, which valid text
            // never holds, so the byte comes back exactly.
            appendEscape(out, 0xDC00 + static_cast<unsigned char>(name[i]));
            i += 1;
            continue;
        }
        // Every "_x" of the output starts an escape, so decoding is exact.
        const bool startsEscape = cp == '_' && i + 1 < name.size() && name[i + 1] == 'x';
        if (!startsEscape && (i == 0 ? isNameStartChar(cp) : isNameChar(cp))) {
            out.append(name.substr(i, n));
        } else {
            appendEscape(out, cp);
        }
        i += n;
    }
    return out;
}

std::string SkinFileNameFromElement(std::string_view element) {
    std::string out;
    size_t i = 0;
    while (i < element.size()) {
        char32_t cp = 0;
        const size_t n = escapeAt(element, i, cp);
        if (n == 0) {
            out += element[i++];
        } else {
            if (cp >= 0xDC80 && cp <= 0xDCFF) {
                out += static_cast<char>(cp - 0xDC00);
            } else {
                qtext::appendUtf8(out, cp);
            }
            i += n;
        }
    }
    return out;
}

std::string ResolveSettingsPath(const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path base = folder.empty() ? fs::path(".") : fs::path(folder);
    std::vector<std::string> matches;
    std::error_code ec;
    fs::directory_iterator it(base, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (qtext::equalsIgnoreAsciiCase(name, kSettingsName) && it->is_regular_file(typeError)) {
            matches.push_back(name);
        }
    }
    std::sort(matches.begin(), matches.end());
    std::string chosen(kSettingsName);
    if (!matches.empty() && std::find(matches.begin(), matches.end(), chosen) == matches.end()) {
        chosen = matches.front();
    }
    return (base / chosen).string();
}

TSettingsFile::TSettingsFile(std::string folder) : m_folders{std::move(folder)} {}

TSettingsFile::TSettingsFile(std::vector<std::string> folders) : m_folders(std::move(folders)) {
    if (m_folders.empty()) m_folders.emplace_back(".");
}

std::string TSettingsFile::existingPath() const {
    for (const std::string& folder : m_folders) {
        std::string path = ResolveSettingsPath(folder);
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) return path;
    }
    return {};
}

std::string TSettingsFile::takeNotice() {
    return std::exchange(m_notice, std::string());
}

std::optional<TSkinSettings> TSettingsFile::readSkin(std::string_view skinFileName) {
    m_error.clear();
    m_path = existingPath();
    const std::string element = SkinElementName(skinFileName);
    if (element.empty() || m_path.empty()) return std::nullopt;
    qxml::Document doc;
    // A file that does not parse counts as absent; it is kept as it is.
    if (!doc.loadFile(m_path)) {
        m_error = doc.error();
        return std::nullopt;
    }
    const pugi::xml_node node = qxml::findChild(doc.documentElement(), element);
    if (!node) return std::nullopt;
    TSkinSettings settings;
    settings.buttonOrder = qxml::attribute(node, "button_order");
    settings.buttonCheck = qxml::attribute(node, "button_check");
    settings.progressShow = qxml::attribute(node, "progress_show");
    settings.volumnShow = qxml::attribute(node, "volumn_show");
    return settings;
}

bool TSettingsFile::writeSkin(std::string_view skinFileName,
                              const std::vector<std::pair<std::string, std::string>>& attributes) {
    m_error.clear();
    m_path = ResolveSettingsPath(m_folders.front());
    const std::string element = SkinElementName(skinFileName);
    if (element.empty()) {
        m_error = "no skin name";
        return false;
    }
    qxml::Document doc;
    pugi::xml_node root;
    bool damaged = false;
    std::error_code ec;
    const std::string source = existingPath();
    if (!source.empty()) {
        const std::optional<std::string> bytes = readWholeFile(source, m_error);
        // A file we cannot read is left alone: writing would lose it.
        if (!bytes) return false;
        if (doc.loadText(*bytes)) {
            root = doc.documentElement();
        } else {
            // Only a damaged file at the path we write needs moving aside;
            // one in a read-only folder is never overwritten anyway.
            damaged = source == m_path;
        }
    }
    if (!EnsureFolder(m_folders.front())) {
        m_error = "cannot create the folder " + m_folders.front();
        return false;
    }
    if (!root) root = doc.createDocumentElement(kRootName);
    pugi::xml_node node = qxml::childOrCreate(root, element);
    for (const auto& [name, value] : attributes) qxml::setAttribute(node, name.c_str(), value);

    std::string aside;
    if (damaged) {
        aside = qxml::moveAside(m_path);
        if (aside.empty()) {
            m_error = "cannot move the damaged settings file " + m_path + " aside";
            return false;
        }
    }
    if (!doc.save(m_path)) {
        m_error = doc.error();
        if (damaged) std::filesystem::rename(aside, m_path, ec);  // put it back as it was
        return false;
    }
    if (damaged) {
        m_notice = "设置文件 " + m_path + " 无法读取, 已改名为 " + aside + ", 并写入了新的设置文件.";
    }
    return true;
}
