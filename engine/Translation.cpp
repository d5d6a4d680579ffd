#include "engine/Translation.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/text/Text.h"

namespace {

// A language file holds a few dozen short lines; anything larger than this is
// not one, and reading it whole into memory is not worth the risk.
constexpr std::uintmax_t kMaxLanguageFileBytes = 4u * 1024 * 1024;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

constexpr std::string_view kEngineSection = "TVAVIVEROVU";
constexpr std::string_view kCommonSection = "COMMON";

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The file's bytes as UTF-8: with a byte-order mark they are UTF-8 (damaged
// bytes kept as Latin-1), otherwise the one text rule decides.
std::string decodeText(std::string_view bytes) {
    if (startsWith(bytes, kUtf8Bom)) return qtext::repairUtf8(bytes.substr(kUtf8Bom.size()));
    return qtext::toUtf8(bytes);
}

}  // namespace

void TTranslationTable::Clear() {
    m_entries.clear();
}

void TTranslationTable::Parse(std::string_view bytes) {
    m_entries.clear();
    const std::string text = decodeText(bytes);

    enum class Section { None, Kept, Skipped };
    Section section = Section::None;
    bool engineStarted = false;

    size_t pos = 0;
    while (pos < text.size()) {
        // Lines end with LF, CR LF or a lone CR.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = qtext::trimControl(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;

        if (line.empty() || startsWith(line, "//")) continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            if (engineStarted) break;  // the engine's section is complete
            const std::string name = qtext::asciiUpper(std::string_view(line).substr(1, line.size() - 2));
            if (name == kEngineSection) {
                engineStarted = true;
                section = Section::Kept;
            } else if (name == kCommonSection) {
                section = Section::Kept;
            } else {
                section = Section::Skipped;
            }
            continue;
        }
        if (section != Section::Kept) continue;
        if (std::string_view("$&*^").find(line.front()) != std::string_view::npos) continue;

        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = qtext::trimControl(std::string_view(line).substr(0, eq));
        std::string value = qtext::trimControl(std::string_view(line).substr(eq + 1));
        if (!value.empty() && value.front() == '"') value.erase(0, 1);
        if (!value.empty() && value.back() == '"') value.pop_back();
        if (value.empty()) continue;
        m_entries.emplace_back(std::move(key), std::move(value));
    }
}

bool TTranslationTable::LoadFromFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    m_entries.clear();

    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 9 || !startsWith(name, "lang_") || name.compare(name.size() - 4, 4, ".txt") != 0)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        names.push_back(name);
    }
    if (names.empty()) return false;
    std::sort(names.begin(), names.end());

    const fs::path path = fs::path(folder.empty() ? "." : folder) / names.front();
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxLanguageFileBytes) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string bytes(size_t(size), '\0');
    in.read(bytes.data(), std::streamsize(size));
    bytes.resize(size_t(in.gcount()));
    Parse(bytes);
    return true;
}

const std::string* TTranslationTable::Find(std::string_view key) const {
    for (const auto& [k, v] : m_entries) {
        if (k == key) return &v;
    }
    return nullptr;
}

std::string TTranslationTable::Caption() const {
    const std::string* caption = Find("Error");
    return caption ? *caption : std::string("Error");
}

std::string TTranslationTable::Translate(const std::string& text) const {
    const size_t nl = text.find('\n');
    std::string_view first = std::string_view(text).substr(0, nl);
    const std::string* translation = Find(first);
    // A text whose lines end in CR LF is looked up without the CR, which then
    // stays with the line break.
    std::string_view lineEnd = "\n";
    if (!translation && nl != std::string::npos && !first.empty() && first.back() == '\r') {
        first.remove_suffix(1);
        translation = Find(first);
        lineEnd = "\r\n";
    }
    if (!translation) return text;
    if (nl == std::string::npos) return *translation;
    std::string out = *translation;
    out += lineEnd;
    out.append(text, nl + 1, std::string::npos);
    return out;
}
