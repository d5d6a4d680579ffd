#include "platform/audio/core/Source.h"

#include <algorithm>
#include <cstring>

namespace qaudio {

size_t DecoderSource::read(float* out, size_t frames, bool& ended) {
    const uint64_t got = m_decoder->read(out, frames);
    if (got == 0) ended = true;
    return size_t(std::min<uint64_t>(got, frames));
}

UserSource::UserSource(const SampleFormat& format, STREAMPROC proc, void* user)
    : m_format(format), m_proc(proc), m_user(user) {}

bool UserSource::seek(uint64_t frame) {
    if (frame != 0) return false;
    m_ended = false;
    m_carry = 0;
    return true;
}

size_t UserSource::read(float* out, size_t frames, bool& ended) {
    const size_t frameBytes = m_format.bytesPerFrame();
    const size_t want = frames * frameBytes;
    if (m_bytes.size() < want) m_bytes.resize(want);
    // Asks until at least one whole frame came, the callback has nothing
    // now, or the stream ended.
    while (!m_ended) {
        const size_t ask = want - m_carry;
        const DWORD r = m_proc(m_handle, m_bytes.data() + m_carry, DWORD(ask), m_user);
        if (r & BASS_STREAMPROC_END) m_ended = true;
        // A callback claiming more than it was given room for is held to the room.
        const size_t got = std::min<size_t>(r & ~BASS_STREAMPROC_END, ask);
        m_carry += got;
        const size_t whole = m_carry / frameBytes;
        if (whole > 0 || got == 0) {
            samplesToFloat(m_bytes.data(), whole * m_format.channels, m_format.bytesPerSample, out);
            const size_t used = whole * frameBytes;
            m_carry -= used;
            if (m_carry) std::memmove(m_bytes.data(), m_bytes.data() + used, m_carry);
            if (m_ended) {
                m_carry = 0;  // an incomplete last frame is dropped
                ended = true;
            }
            return whole;
        }
    }
    ended = true;
    return 0;
}

}  // namespace qaudio
