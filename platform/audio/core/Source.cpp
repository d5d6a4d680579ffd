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
    if (m_ended) {
        ended = true;
        return 0;
    }
    const size_t frameBytes = m_format.bytesPerFrame();
    const size_t want = frames * frameBytes;
    if (m_bytes.size() < want) m_bytes.resize(want);
    const size_t ask = want - m_carry;
    const DWORD r = m_proc(m_handle, m_bytes.data() + m_carry, DWORD(ask), m_user);
    if (r & BASS_STREAMPROC_END) m_ended = true;
    // A callback claiming more than it was given room for is held to the room.
    const size_t bytes = m_carry + std::min<size_t>(r & ~BASS_STREAMPROC_END, ask);
    const size_t whole = bytes / frameBytes;
    samplesToFloat(m_bytes.data(), whole * m_format.channels, m_format.bytesPerSample, out);
    m_carry = m_ended ? 0 : bytes - whole * frameBytes;
    if (m_carry) std::memmove(m_bytes.data(), m_bytes.data() + whole * frameBytes, m_carry);
    if (m_ended) ended = true;
    return whole;
}

}  // namespace qaudio
