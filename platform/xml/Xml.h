// The XML DOM helper used by the settings file, skins and playlists.
//
// Files are read in the encoding they declare: a byte-order mark decides
// first (UTF-8, UTF-16LE, UTF-16BE), then the encoding of the XML declaration
// (UTF-8, UTF-16, GB2312/GBK/GB18030, ISO-8859-1). Text that is not valid in
// its encoding, and text without a declared encoding, is read by the
// program's one rule for incoming text (platform/text: valid UTF-8 stays,
// else GBK), so the DOM only ever holds valid UTF-8. Comments, processing instructions and the document type
// are kept in the DOM and written back. Documents are written as UTF-8 with the declaration <?xml
// version="1.0"?> and two-space indentation, safely: a temporary file beside the target is flushed and
// renamed into place, so a crash never leaves a half-written file.
//
// Not thread-safe; a Document belongs to one thread at a time.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qxml {

class Document {
  public:
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Replace the document with the parsed file or text. On failure the
    // document is empty and error() says why, in words fit for a message box.
    bool loadFile(const std::string& path);
    bool loadText(std::string_view bytes);
    const std::string& error() const { return m_error; }

    // The document element whatever its name; null when there is none.
    pugi::xml_node documentElement() const;
    // Replaces the whole document by an empty document element of this name.
    pugi::xml_node createDocumentElement(const std::string& name);

    // The document as written to disk (declaration, two-space indentation).
    std::string toText() const;
    // Writes the document safely (see above). False, with error() set, when
    // any step fails; the previous file is then untouched.
    bool save(const std::string& path);

    pugi::xml_document& dom() { return m_doc; }

  private:
    pugi::xml_document m_doc;
    std::string m_text;  // the decoded UTF-8 text pugixml parsed in place
    std::string m_error;
};

// Decodes the bytes of an XML file to UTF-8 by the rules above.
std::string decodeXmlBytes(std::string_view bytes);

// The first child element with exactly this name; null when there is none.
pugi::xml_node findChild(pugi::xml_node parent, std::string_view name);
// The first child element with this name, appended when missing.
pugi::xml_node childOrCreate(pugi::xml_node parent, const std::string& name);

// An attribute's value; nullopt when the attribute is absent (an empty value
// is not absent).
std::optional<std::string> attribute(pugi::xml_node node, const char* name);
// Sets (or adds) an attribute.
void setAttribute(pugi::xml_node node, const char* name, std::string_view value);

// A one-pass index of a parent's child elements by name, so that looking up
// numbered elements (group1, group2, ... item0, item1, ...) costs O(1) each
// instead of a scan of the siblings. The first child of a name wins, as with
// findChild. Valid while the parent's children are not changed.
class ChildIndex {
  public:
    explicit ChildIndex(pugi::xml_node parent);
    pugi::xml_node find(std::string_view name) const;

  private:
    std::unordered_map<std::string_view, pugi::xml_node> m_byName;
};

// Writes bytes to a file safely: temporary file in the same folder, flushed,
// renamed over the target, folder flushed. On failure the target is
// untouched, no temporary file is left behind and `error` says why.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Moves a damaged file aside to path + ".bad" (replacing an older one) so it
// is never overwritten. Returns the new path, or empty when nothing was moved.
std::string moveAside(const std::string& path);

}  // namespace qxml
