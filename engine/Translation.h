// The engine's error texts in the user's language: a "lang_*.txt" file beside the
// executable holds key = value lines in sections; the engine's section and the
// common section are read.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TTranslationTable {
  public:
    // Reads the file's text (any encoding; decoded by the one text rule). Replaces
    // what the table held.
    void Parse(std::string_view text);
    // Looks for the first "lang_*.txt" (names sorted) in `folder` and parses it;
    // false (and an empty table) when there is none or it cannot be read.
    bool LoadFromFolder(const std::string& folder);
    void Clear();

    // The value of `key`, or nullptr.
    const std::string* Find(std::string_view key) const;
    // The caption of error boxes: the value of "Error", else "Error".
    std::string Caption() const;
    // `text` with its first line (up to the first "\n") replaced by its translation
    // when there is one; the rest follows unchanged behind a "\n".
    std::string Translate(const std::string& text) const;

    const std::vector<std::pair<std::string, std::string>>& Entries() const { return m_entries; }

  private:
    std::vector<std::pair<std::string, std::string>> m_entries;
};
