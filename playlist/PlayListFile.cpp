// Reading and writing the playlist file.
//
// Layout: root <playlist count="N"> holding <group1> ... <groupN>, each with
// caption="name" count="M" and children <item0> ... <item(M-1)> whose
// sixteen attributes hold the entry's stream information (kStreamInfoFileOrder).
// The temporary list is never written. Elements are found by their numbered
// names, not by their order in the document.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <utility>

#include "platform/text/Text.h"
#include "platform/xml/Xml.h"
#include "playlist/PlayListModel.h"
#include "playlist/PlayListTexts.h"

namespace {

constexpr std::size_t kItemAttributeCount = kStreamInfoFileOrder.size();

// A decimal integer with an optional sign and nothing else; nullopt for
// anything that is not one or does not fit 64 bits.
std::optional<int64_t> parseDecimal(const char* text) {
    const char* end = text + std::strlen(text);
    const char* p = text;
    if (p != end && *p == '+') ++p;  // from_chars takes '-' but not '+'
    if (p == end || (*p == '-' && p != text)) return std::nullopt;
    int64_t value = 0;
    const auto [stop, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A count attribute: a 32-bit signed decimal, 0 when missing or not a number.
int64_t readCount(pugi::xml_node node) {
    const std::optional<int64_t> value = parseDecimal(node.attribute("count").value());
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    return *value;
}

// A numeric stream attribute as 64 bits (TStreamInfoField::setNumber cuts it
// to the field's width, as an integer assignment does); anything that is not
// a number reads as 0.
uint64_t readNumber(const char* text) {
    const std::optional<int64_t> value = parseDecimal(text);
    return value ? static_cast<uint64_t>(*value) : 0;
}

// The file position of the attribute called `name`, kItemAttributeCount for
// none. Attributes written by the program come in file order, so the one at
// `ordinal` is checked first and the others only when the order differs.
std::size_t attributePosition(const char* name, std::size_t ordinal) {
    if (ordinal < kItemAttributeCount && std::strcmp(name, kStreamInfoFileOrder[ordinal]->attribute) == 0)
        return ordinal;
    for (std::size_t i = 0; i < kItemAttributeCount; ++i) {
        if (std::strcmp(name, kStreamInfoFileOrder[i]->attribute) == 0) return i;
    }
    return kItemAttributeCount;
}

void readItemAttributes(pugi::xml_node node, TStreamInfo& info) {
    // The first attribute of a name wins.
    bool seen[kItemAttributeCount] = {};
    std::size_t ordinal = 0;
    for (pugi::xml_attribute attr = node.first_attribute(); attr; attr = attr.next_attribute(), ++ordinal) {
        const std::size_t which = attributePosition(attr.name(), ordinal);
        if (which == kItemAttributeCount || seen[which]) continue;
        seen[which] = true;
        const TStreamInfoField& field = *kStreamInfoFileOrder[which];
        if (field.isText()) {
            field.text(info) = attr.value();
        } else {
            field.setNumber(info, readNumber(attr.value()));
        }
    }
    // A missing numeric attribute reads as 0, like one that is not a number.
    for (std::size_t i = 0; i < kItemAttributeCount; ++i) {
        if (!seen[i] && !kStreamInfoFileOrder[i]->isText()) kStreamInfoFileOrder[i]->setNumber(info, 0);
    }
}

void writeItemAttributes(pugi::xml_node item, const TStreamInfo& info) {
    for (const TStreamInfoField* field : kStreamInfoFileOrder) {
        pugi::xml_attribute attr = item.append_attribute(field->attribute);
        if (field->isText()) {
            attr.set_value(field->text(info).c_str());
        } else {
            attr.set_value(field->number(info));
        }
    }
}

// The bytes of the record's strings, before escaping.
std::size_t textBytes(const TStreamInfo& info) {
    std::size_t bytes = 0;
    for (const TStreamInfoField& field : kStreamInfoFields) {
        if (field.isText()) bytes += field.text(info).size();
    }
    return bytes;
}

// The child elements named prefix + n for first <= n <= last, found in one
// pass over the children and sorted by n. The number must be written the way
// the writer writes it (decimal, no sign, no leading zero), which is what a
// lookup of the exact name would match; the first element of a name wins.
std::vector<std::pair<int64_t, pugi::xml_node>> numberedChildren(pugi::xml_node parent,
                                                                 std::string_view prefix, int64_t first,
                                                                 int64_t last) {
    std::vector<std::pair<int64_t, pugi::xml_node>> found;
    bool sorted = true;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view name = child.name();
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
        const std::string_view digits = name.substr(prefix.size());
        if (digits.size() > 1 && digits[0] == '0') continue;
        int64_t n = 0;
        const auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || stop != digits.data() + digits.size() || digits[0] == '-') continue;
        if (n < first || n > last) continue;
        if (!found.empty() && n <= found.back().first) sorted = false;
        found.emplace_back(n, child);
    }
    if (!sorted) {
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        found.erase(std::unique(found.begin(), found.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    found.end());
    }
    return found;
}

std::unique_ptr<TPlayList> readGroup(pugi::xml_node group) {
    auto list = std::make_unique<TPlayList>();
    list->Name = group.attribute("caption").value();
    const int64_t count = readCount(group);
    // Entries the count announces but the group does not hold are left out;
    // the others keep their numbers as open indices.
    const auto items = numberedChildren(group, "item", 0, count - 1);
    list->Items.reserve(items.size());
    for (const auto& [k, node] : items) {
        TMediaInf& entry = list->Items.emplace_back();
        entry.OpenIndex = static_cast<int32_t>(k);
        entry.SourceList = list->Name;
        readItemAttributes(node, entry.StreamInfo);
    }
    return list;
}

void appendEmptyLists(std::vector<std::unique_ptr<TPlayList>>& lists, int64_t how_many, std::size_t& budget) {
    const auto n = static_cast<std::size_t>(std::min<int64_t>(how_many, static_cast<int64_t>(budget)));
    for (std::size_t i = 0; i < n; ++i) lists.push_back(std::make_unique<TPlayList>());
    budget -= n;
}

// Offset of the first byte that does not belong to a well-formed UTF-8
// sequence, or npos.
std::size_t firstInvalidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return i;
        }
        if (i + len > s.size()) return i;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return i;
        }
        i += len;
    }
    return std::string_view::npos;
}

// True when the bytes are to be read as UTF-8: no UTF-16 byte-order mark or
// layout, and no declaration of another encoding.
bool meantAsUtf8(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return true;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        bytes.starts_with(std::string_view("<\0", 2)) || bytes.starts_with(std::string_view("\0<", 2))) {
        return false;
    }
    const std::string_view head = bytes.substr(0, 256);
    if (!head.starts_with("<?xml")) return true;
    const std::string_view decl = head.substr(0, head.find("?>"));
    const std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return true;
    std::size_t p = decl.find_first_of("\"'", at);
    if (p == std::string_view::npos) return true;
    const std::size_t close = decl.find(decl[p], p + 1);
    const std::string name =
        qtext::asciiUpper(decl.substr(p + 1, close == std::string_view::npos ? 0 : close - p - 1));
    return name == "UTF-8" || name == "UTF8";
}

std::string positionText(std::string_view bytes, std::size_t offset) {
    const std::string_view before = bytes.substr(0, offset);
    const auto line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column = offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    return "(line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
}

// The whole file in one read into a buffer of its size.
bool readWholeFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    content.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(content.data(), size);
    content.resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

}  // namespace

void TPlayListModel::resetToTemporaryList() {
    m_lists.clear();
    auto temporary = std::make_unique<TPlayList>();
    temporary->Name = plt::kTemporaryListName;
    m_lists.push_back(std::move(temporary));
    m_displayed = m_playing = m_lists.front().get();
    m_current = -1;
    m_modified = false;
}

void TPlayListModel::LoadPlaylists() {
    resetToTemporaryList();
    m_damaged = false;
    std::error_code ec;
    if (!std::filesystem::exists(m_fileName, ec)) {
        changed(TPlayListChange::Lists);
        return;
    }
    std::string error;
    std::string content;
    if (!readWholeFile(m_fileName, content)) {
        error = "cannot read " + m_fileName + ": " + std::strerror(errno);
    } else if (LoadPlaylistsFromText(content, &error)) {
        return;
    }
    // Keep the file: it is moved aside, never overwritten, when the lists
    // are next saved.
    m_damaged = true;
    m_dialogs.ShowMessage(error, plt::kCaption, TMsgIcon::Error);
}

bool TPlayListModel::LoadPlaylistsFromText(std::string_view bytes, std::string* error) {
    resetToTemporaryList();
    const auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        changed(TPlayListChange::Lists);
        return false;
    };
    // A byte that breaks UTF-8 makes the document not well-formed (the XML
    // decoder would otherwise re-read the whole file as GBK and garble every
    // name in it).
    if (meantAsUtf8(bytes)) {
        const std::size_t bad = firstInvalidUtf8(bytes);
        if (bad != std::string_view::npos) return fail("invalid UTF-8 byte " + positionText(bytes, bad));
    }
    qxml::Document doc;
    if (!doc.loadText(bytes)) return fail(doc.error());
    const pugi::xml_node root = doc.documentElement();
    if (std::string_view(root.name()) != "playlist") {
        return fail(std::string("not a playlist file: the document element is <") + root.name() + ">");
    }

    const int64_t count = readCount(root);
    std::size_t budget = kMaxMissingLists;
    int64_t expected = 1;
    for (const auto& [n, group] : numberedChildren(root, "group", 1, count)) {
        appendEmptyLists(m_lists, n - expected, budget);
        m_lists.push_back(readGroup(group));
        expected = n + 1;
    }
    if (count >= expected) appendEmptyLists(m_lists, count - expected + 1, budget);

    m_displayed = m_playing = m_lists.front().get();
    m_modified = false;
    changed(TPlayListChange::Lists);
    return true;
}

std::string TPlayListModel::PlaylistsText() const {
    qxml::Document doc;
    pugi::xml_node root = doc.createDocumentElement("playlist");
    root.append_attribute("count").set_value(static_cast<unsigned long long>(m_lists.size() - 1));
    char name[32];
    for (std::size_t n = 1; n < m_lists.size(); ++n) {
        const TPlayList& list = *m_lists[n];
        std::snprintf(name, sizeof name, "group%zu", n);
        pugi::xml_node group = root.append_child(name);
        group.append_attribute("caption").set_value(list.Name.c_str());
        group.append_attribute("count").set_value(static_cast<unsigned long long>(list.Items.size()));
        for (std::size_t k = 0; k < list.Items.size(); ++k) {
            std::snprintf(name, sizeof name, "item%zu", k);
            writeItemAttributes(group.append_child(name), list.Items[k].StreamInfo);
        }
    }
    // The same text as qxml::Document::toText, written straight into one
    // string: a file of 100 000 entries is some 35 MB, and a string stream
    // copies it over and over while it grows.
    struct StringWriter : pugi::xml_writer {
        std::string out;
        void write(const void* data, std::size_t size) override {
            out.append(static_cast<const char*>(data), size);
        }
    } writer;
    std::size_t estimate = 64;
    for (const auto& list : m_lists) {
        estimate += 64 + list->Name.size();
        for (const TMediaInf& m : list->Items) {
            estimate += 320 + textBytes(m.StreamInfo);
        }
    }
    writer.out.reserve(estimate + estimate / 8);  // room for escapes
    writer.out = "<?xml version=\"1.0\"?>\n";
    doc.dom().save(writer, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(writer.out);
}

bool TPlayListModel::SavePlaylists() {
    m_lastError.clear();
    const std::string text = PlaylistsText();
    std::error_code ec;
    if (m_damaged && std::filesystem::exists(m_fileName, ec)) {
        if (qxml::moveAside(m_fileName).empty()) {
            m_lastError = "cannot move the damaged file " + m_fileName + " aside; it was not replaced";
            return false;
        }
    }
    m_damaged = false;
    if (!qxml::writeFileAtomically(m_fileName, text, &m_lastError)) return false;
    m_modified = false;
    return true;
}

bool TPlayListModel::SaveIfModified() {
    if (!m_modified) return true;
    if (SavePlaylists()) return true;
    m_dialogs.ShowMessage(m_lastError, plt::kCaption, TMsgIcon::Error);
    return false;
}
