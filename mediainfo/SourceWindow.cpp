#include "mediainfo/SourceWindow.h"

#include <algorithm>

namespace mediainfo {

std::string_view SourceWindow::get(uint64_t offset, size_t count) {
    const uint64_t size = m_src.size();
    if (offset >= size) return {};
    count = static_cast<size_t>(std::min<uint64_t>(count, size - offset));
    const bool inside = offset >= m_start && offset - m_start + count <= m_buffer.size();
    if (!inside) {
        m_buffer.resize(std::max(count, m_window));
        m_buffer.resize(m_src.readAt(offset, m_buffer.data(), m_buffer.size()));
        m_start = offset;
    }
    const size_t from = static_cast<size_t>(offset - m_start);
    return std::string_view(m_buffer).substr(from, std::min(count, m_buffer.size() - from));
}

}  // namespace mediainfo
