#include "mediainfo/SourceWindow.h"

#include <algorithm>
#include <cstring>

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
        m_window = std::min(m_window * 2, std::max(m_most, m_window));
    }
    const size_t from = static_cast<size_t>(offset - m_start);
    if (from >= m_buffer.size()) return {};
    return std::string_view(m_buffer).substr(from, std::min(count, m_buffer.size() - from));
}

EdgeCachedSource::EdgeCachedSource(ByteSource& inner, size_t head, size_t tail)
    : m_inner(inner), m_size(inner.size()) {
    if (m_size <= head + tail) {  // a small file: one read for all of it
        head = static_cast<size_t>(m_size);
        tail = 0;
    }
    m_head.length = head;
    m_tail.length = tail;
    m_tail.start = m_size - m_tail.length;
}

bool EdgeCachedSource::serve(Edge& edge, uint64_t offset, void* out, size_t count) {
    if (offset < edge.start || offset - edge.start > edge.length ||
        count > edge.length - (offset - edge.start))
        return false;
    if (!edge.loaded) {
        edge.bytes.resize(edge.length);
        edge.bytes.resize(m_inner.readAt(edge.start, edge.bytes.data(), edge.length));
        edge.loaded = true;
    }
    if (edge.bytes.size() != edge.length) return false;  // a short read: ask the source itself
    if (count > 0) std::memcpy(out, edge.bytes.data() + (offset - edge.start), count);
    return true;
}

size_t EdgeCachedSource::readAt(uint64_t offset, void* out, size_t count) {
    if (offset >= m_size) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, m_size - offset));
    if (serve(m_head, offset, out, count) || serve(m_tail, offset, out, count)) return count;
    return m_inner.readAt(offset, out, count);
}

}  // namespace mediainfo
