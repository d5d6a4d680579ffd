#include "plugins/OutputRing.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "platform/win/MessageLayer.h"

namespace {

// Attempts between two waiting steps: the other side holds the ring only for a
// copy of a few kilobytes, so it is usually free again after a yield or two.
constexpr int kYieldsPerStep = 64;

}  // namespace

bool TOutputRing::allocate(uint32_t size) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) return false;
    std::memset(buffer.get(), 0, size);
    m_buffer = std::move(buffer);
    m_size = size;
    m_read = 0;
    m_write = 0;
    return true;
}

void TOutputRing::release() {
    m_buffer.reset();
    m_size = 0;
    m_read = 0;
    m_write = 0;
}

uint64_t TOutputRing::blockFor(uint32_t rate, uint32_t channels, uint32_t bits) {
    return uint64_t(bits / 8) * rate * channels * 2 / 10;
}

bool TOutputRing::fitToBlock(uint64_t block, uint32_t minSize) {
    const uint64_t size = m_size.load();
    if (size >= 2 * block && size <= 4 * block && size >= minSize) return true;
    const uint64_t wanted = std::max<uint64_t>(3 * block, minSize);
    if (wanted > UINT32_MAX) return false;
    return allocate(uint32_t(wanted));
}

uint32_t TOutputRing::usedSpace() const {
    const uint32_t r = m_read.load(), w = m_write.load(), size = m_size.load();
    return w >= r ? w - r : w + size - r;
}

uint32_t TOutputRing::freeSpace() const {
    const uint32_t r = m_read.load(), w = m_write.load(), size = m_size.load();
    return w < r ? r - w : size - w + r;
}

bool TOutputRing::acquire(Side side, Wait wait, unsigned maxWaits) {
    for (unsigned steps = 0;; ++steps) {
        for (int i = 0; i < kYieldsPerStep; ++i) {
            uint8_t nobody = 0;
            if (m_busy.compare_exchange_weak(nobody, side, std::memory_order_acq_rel)) return true;
            std::this_thread::yield();
        }
        if (maxWaits != kUnbounded && steps >= maxWaits) return false;
        if (wait == Wait::ProcessMessages) quillet::win::ProcessMessages();
        std::this_thread::sleep_for(kBusyWaitStep);
    }
}

void TOutputRing::releaseSide(Side side) { m_busy.fetch_and(uint8_t(~side), std::memory_order_release); }

void TOutputRing::write(const uint8_t* data, uint32_t n) {
    const uint32_t size = m_size.load();
    const uint32_t w = m_write.load();
    const uint32_t first = std::min(n, size - w);
    std::memcpy(m_buffer.get() + w, data, first);
    std::memcpy(m_buffer.get(), data + first, n - first);
    const uint32_t next = w + n;
    m_write = next >= size ? next - size : next;
}

uint32_t TOutputRing::read(uint8_t* out, uint32_t n) {
    n = std::min(n, usedSpace());
    if (n == 0) return 0;
    const uint32_t size = m_size.load();
    const uint32_t r = m_read.load();
    const uint32_t first = std::min(n, size - r);
    std::memcpy(out, m_buffer.get() + r, first);
    std::memcpy(out + first, m_buffer.get(), n - first);
    const uint32_t next = r + n;
    m_read = next >= size ? next - size : next;
    return n;
}

void TOutputRing::clear() {
    m_read = 0;
    m_write = 0;
}
