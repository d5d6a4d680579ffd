#include "mediainfo/APETag.h"

#include "platform/text/Text.h"

namespace mediainfo {

void TAPETag::reset() { *this = TAPETag(); }

bool TAPETag::ReadFromFile(const std::string& fileName) {
    reset();
    FileSource source(fileName);
    if (!source.isOpen()) return false;
    return ReadFromSource(source);
}

bool TAPETag::ReadFromSource(ByteSource&) {
    reset();
    return true;  // not yet written
}

std::string TAPETag::value(std::string_view name) const {
    for (const auto& item : m_items) {
        if (qtext::equalsIgnoreAsciiCase(item.name, name)) return item.value;
    }
    return {};
}

}  // namespace mediainfo
