#include "platform/audio/core/History.h"

#include <algorithm>
#include <cstring>

namespace qaudio {

void History::reset(uint32_t channels, size_t minFrames) {
    std::lock_guard lock(m_mutex);
    size_t cap = 1;
    while (cap < minFrames) cap <<= 1;
    m_channels = channels;
    m_capacity = cap;
    m_ring.assign(cap * channels, 0.0f);
    m_written = 0;
}

void History::clear() {
    std::lock_guard lock(m_mutex);
    std::fill(m_ring.begin(), m_ring.end(), 0.0f);
}

void History::push(const float* frames, size_t count) {
    std::lock_guard lock(m_mutex);
    if (m_capacity == 0) return;
    if (count > m_capacity) {  // only the last `capacity` frames can be kept
        frames += (count - m_capacity) * m_channels;
        m_written += count - m_capacity;
        count = m_capacity;
    }
    size_t at = size_t(m_written & (m_capacity - 1));
    while (count > 0) {
        const size_t n = std::min(count, m_capacity - at);
        std::memcpy(&m_ring[at * m_channels], frames, n * m_channels * sizeof(float));
        frames += n * m_channels;
        count -= n;
        m_written += n;
        at = 0;
    }
}

uint64_t History::written() {
    std::lock_guard lock(m_mutex);
    return m_written;
}

void History::copy(uint64_t start, size_t count, float* out) {
    std::lock_guard lock(m_mutex);
    const uint64_t oldest = m_written > m_capacity ? m_written - m_capacity : 0;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t f = start + i;
        float* o = out + i * m_channels;
        if (m_capacity == 0 || f < oldest || f >= m_written) {
            std::fill(o, o + m_channels, 0.0f);
        } else {
            std::memcpy(o, &m_ring[size_t(f & (m_capacity - 1)) * m_channels], m_channels * sizeof(float));
        }
    }
}

}  // namespace qaudio
