// TAPETag: an APE tag (version 1 or 2) at the end of a file, before an
// optional ID3v1 tag, read as name/value pairs in file order.
//
// Names and values are kept as the bytes they are in the file (APEv2 values
// are UTF-8 text, APEv1 values are whatever the writer used), without their
// leading and trailing spaces and control characters. Values are capped; the
// item loop is bounded by the item count, the tag and the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mediainfo/MediaReader.h"

namespace mediainfo {

struct TAPEItem {
    std::string name;
    std::string value;
};

class TAPETag final : public TMediaReader {
  public:
    // Bytes of a value kept; the rest of a longer value (cover art, binary
    // data) is skipped.
    static constexpr uint32_t kMaxValueBytes = 250;
    static constexpr int32_t kFooterSize = 32;

    TAPETag() = default;

    // Back to the empty state: no items, no tag, version 0, size 0.
    void reset() override;

    // Reset, read the footer and, when it is an APE footer, the items. False
    // when the file cannot be opened or has no room for a 32-byte footer
    // (before an ID3v1 tag); true otherwise, with or without a tag.
    bool ReadFromSource(ByteSource& source) override;
    // The items Title, Artist, Album, Year, Genre, Comment and Track (the
    // number before a "/"), decoded by the program's text rule.
    TTagFields tagFields() const override;

    const std::vector<TAPEItem>& items() const { return m_items; }
    bool exists() const { return m_exists; }       // an "APETAGEX" footer was found
    int32_t version() const { return m_version; }  // 1000 or 2000 in practice
    int32_t size() const { return m_size; }        // items plus footer, no header
    // The value of the first item whose name matches, ignoring ASCII case
    // (APE item keys are case-insensitive); empty when there is none.
    std::string value(std::string_view name) const;

  private:
    std::vector<TAPEItem> m_items;
    bool m_exists = false;
    int32_t m_version = 0;
    int32_t m_size = 0;
};

}  // namespace mediainfo
