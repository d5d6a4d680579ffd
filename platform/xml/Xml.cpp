#include "platform/xml/Xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text/Text.h"

namespace qxml {
namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The value of encoding="..." in a leading XML declaration, or empty.
std::string declaredEncoding(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20) ++i;
    text.remove_prefix(i);
    if (!startsWith(text, "<?xml")) return {};
    const size_t end = text.find("?>");
    const std::string_view decl = text.substr(0, end);
    const size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return {};
    size_t p = at + 8;
    while (p < decl.size() && (decl[p] == ' ' || decl[p] == '=' || decl[p] == '\t')) ++p;
    if (p >= decl.size() || (decl[p] != '"' && decl[p] != '\'')) return {};
    const char quote = decl[p];
    const size_t close = decl.find(quote, p + 1);
    if (close == std::string_view::npos) return {};
    return qtext::asciiUpper(decl.substr(p + 1, close - p - 1));
}

std::string describeParseError(const pugi::xml_parse_result& result, std::string_view text) {
    const auto offset = static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0));
    const std::string_view before = text.substr(0, std::min(offset, text.size()));
    const size_t line = static_cast<size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const size_t lineStart = before.rfind('\n');
    const size_t column = offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    std::ostringstream out;
    out << result.description() << " (line " << line << ", column " << column << ")";
    return out.str();
}

}  // namespace

std::string decodeXmlBytes(std::string_view bytes) {
    if (startsWith(bytes, "\xEF\xBB\xBF")) return qtext::repairUtf8(bytes.substr(3));
    if (startsWith(bytes, "\xFF\xFE")) return qtext::utf16ToUtf8(bytes.substr(2), false);
    if (startsWith(bytes, "\xFE\xFF")) return qtext::utf16ToUtf8(bytes.substr(2), true);
    if (startsWith(bytes, std::string_view("<\0?\0", 4))) return qtext::utf16ToUtf8(bytes, false);
    if (startsWith(bytes, std::string_view("\0<\0?", 4))) return qtext::utf16ToUtf8(bytes, true);
    const std::string encoding = declaredEncoding(bytes);
    if (encoding == "ISO-8859-1" || encoding == "LATIN1" || encoding == "US-ASCII") {
        return qtext::latin1ToUtf8(bytes);
    }
    if (encoding == "GB2312" || encoding == "GBK" || encoding == "GB18030" || encoding == "CP936") {
        return qtext::gbkToUtf8(bytes);
    }
    // UTF-8 (declared or by default) and anything unknown: the one rule keeps
    // valid UTF-8 and rescues legacy bytes instead of failing.
    // A whole UTF-8 file with a damaged byte or two is repaired where it is
    // damaged; decoding all of it as GBK would garble every other character.
    if (!qtext::isValidUtf8(bytes) && qtext::isMostlyUtf8(bytes)) return qtext::repairUtf8(bytes);
    return qtext::toUtf8(bytes);
}

bool Document::loadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_doc.reset();
        m_error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return loadText(content.str());
}

bool Document::loadText(std::string_view bytes) {
    m_error.clear();
    m_text = decodeXmlBytes(bytes);
    // pugixml parses the buffer in place; m_text lives as long as the DOM.
    // Comments, processing instructions and the document type are kept, so
    // a file that is loaded, changed and saved keeps all its content.
    constexpr unsigned kOptions =
        pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;
    const pugi::xml_parse_result result =
        m_doc.load_buffer_inplace(m_text.data(), m_text.size(), kOptions, pugi::encoding_utf8);
    if (!result) {
        // The in-place parse has rewritten the buffer; lines and columns are
        // counted on the text as it was.
        m_error = describeParseError(result, decodeXmlBytes(bytes));
        m_doc.reset();
        return false;
    }
    if (!documentElement()) {
        m_error = "no document element";
        m_doc.reset();
        return false;
    }
    return true;
}

pugi::xml_node Document::documentElement() const {
    return m_doc.document_element();
}

pugi::xml_node Document::createDocumentElement(const std::string& name) {
    m_doc.reset();
    m_text.clear();
    return m_doc.append_child(name.c_str());
}

std::string Document::toText() const {
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n";
    m_doc.save(out, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

bool Document::save(const std::string& path) {
    m_error.clear();
    return writeFileAtomically(path, toText(), &m_error);
}

pugi::xml_node findChild(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && name == child.name()) return child;
    }
    return {};
}

pugi::xml_node childOrCreate(pugi::xml_node parent, const std::string& name) {
    pugi::xml_node child = findChild(parent, name);
    return child ? child : parent.append_child(name.c_str());
}

std::optional<std::string> attribute(pugi::xml_node node, const char* name) {
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr) return std::nullopt;
    return std::string(attr.value());
}

void setAttribute(pugi::xml_node node, const char* name, std::string_view value) {
    pugi::xml_attribute attr = node.attribute(name);
    if (!attr) attr = node.append_attribute(name);
    attr.set_value(std::string(value).c_str());
}

ChildIndex::ChildIndex(pugi::xml_node parent) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) m_byName.try_emplace(child.name(), child);
    }
}

pugi::xml_node ChildIndex::find(std::string_view name) const {
    const auto it = m_byName.find(name);
    return it == m_byName.end() ? pugi::xml_node() : it->second;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
    const auto fail = [&](const std::string& what) {
        if (error) *error = what + " " + path + ": " + std::strerror(errno);
        return false;
    };
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) return fail("cannot create a temporary file for");
    fchmod(fd, 0644);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail("cannot write");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot flush");
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot replace");
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::string moveAside(const std::string& path) {
    const std::string aside = path + ".bad";
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    return ec ? std::string() : aside;
}

}  // namespace qxml
