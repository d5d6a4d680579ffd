#include "tests/plugins/HostTest.h"

#include <cstring>
#include <thread>

namespace hosttest {

void ensureLibrary() {
    static const bool ready = [] {
        if (!Load_BASSDLL("")) return false;
        return Bass.BASS_Init(0, 44100, 0, nullptr, nullptr) != FALSE;
    }();
    ASSERT_TRUE(ready) << "libbass.so beside the test could not be loaded and initialised";
}

namespace {
constexpr const char* kWindowClass = "PluginsTestWindow";
}

MessageWindow::MessageWindow() {
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kWindowClass;
    RegisterClass(&wc);  // once per process; later calls fail harmlessly
    m_hwnd = CreateWindowEx(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, this);
    SetWindowLongPtr(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageWindow::~MessageWindow() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

LRESULT MessageWindow::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_USER) {
        self->m_received.push_back(msg);
        if (auto it = self->m_handlers.find(msg); it != self->m_handlers.end()) it->second();
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

int MessageWindow::count(UINT msg) const {
    int n = 0;
    for (UINT m : m_received) n += m == msg;
    return n;
}

bool MessageWindow::waitFor(UINT msg, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (count(msg) == 0 && std::chrono::steady_clock::now() < end) {
        quillet::win::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return count(msg) > 0;
}

uint64_t frameNumber(const uint8_t* frame, uint32_t bits) {
    if (bits == 8) return frame[0];
    uint16_t lo, hi;
    std::memcpy(&lo, frame, 2);
    std::memcpy(&hi, frame + 2, 2);
    return uint64_t(lo) | uint64_t(hi) << 16;
}

PositionSource::PositionSource(uint64_t total, uint32_t rate, uint32_t channels, uint32_t bits)
    : m_total(total), m_channels(channels), m_bits(bits), m_frameBytes(channels * bits / 8) {
    ensureLibrary();
    m_handle = Bass.BASS_StreamCreate(rate, channels,
                                      BASS_STREAM_DECODE | (bits == 8 ? BASS_SAMPLE_8BITS : 0), proc, this);
    EXPECT_NE(m_handle, 0u);
}

PositionSource::~PositionSource() {
    release();
    free();
}

void PositionSource::free() {
    if (m_handle) Bass.BASS_StreamFree(m_handle);
    m_handle = 0;
}

void PositionSource::arm() {
    std::lock_guard lock(m_mutex);
    m_armed = true;
    m_blocked = false;
    m_released = false;
    m_giveData = true;
}

bool PositionSource::waitBlocked(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_blocked; });
}

void PositionSource::release(bool giveData) {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_giveData = giveData;
    m_cv.notify_all();
}

DWORD PositionSource::proc(HSTREAM, void* buffer, DWORD length, void* user) {
    return static_cast<PositionSource*>(user)->fill(static_cast<uint8_t*>(buffer), length);
}

DWORD PositionSource::fill(uint8_t* out, DWORD length) {
    ++m_calls;
    uint64_t start = m_next.load();
    {
        std::unique_lock lock(m_mutex);
        if (m_armed) {
            m_armed = false;
            m_blocked = true;
            m_cv.notify_all();
            m_cv.wait(lock, [&] { return m_released; });
            m_blocked = false;
            if (!m_giveData) return 0;
        }
    }
    if (const uint32_t burst = m_burst.load()) {
        if (m_gap) {  // one empty call between bursts
            m_gap = false;
            m_burstLeft = burst;
            return 0;
        }
        if (m_burstLeft == 0) m_burstLeft = burst;
    }
    uint64_t frames = length / m_frameBytes;
    if (m_burst.load()) frames = std::min<uint64_t>(frames, m_burstLeft);
    const uint64_t left = start < m_total ? m_total - start : 0;
    frames = std::min(frames, left);
    for (uint64_t i = 0; i < frames; ++i) {
        const uint64_t n = start + i;
        uint8_t* f = out + i * m_frameBytes;
        for (uint32_t c = 0; c < m_channels; ++c) {
            if (m_bits == 8) {
                f[c] = c == 0 ? uint8_t(n) : uint8_t(0x80 + c);
            } else {
                const uint16_t v = c == 0 ? uint16_t(n) : c == 1 ? uint16_t(n >> 16) : uint16_t(0x100 * c);
                std::memcpy(f + 2 * c, &v, 2);
            }
        }
    }
    if (m_burst.load()) {
        m_burstLeft -= uint32_t(frames);
        if (m_burstLeft == 0) m_gap = true;
    }
    // A seek made while this call ran wins over the frames it gave.
    m_next.compare_exchange_strong(start, start + frames);
    const DWORD bytes = DWORD(frames * m_frameBytes);
    return start + frames >= m_total ? bytes | BASS_STREAMPROC_END : bytes;
}

std::vector<uint8_t> drainFedOutput(DWORD step, size_t maxBytes, bool* sawEnd) {
    std::vector<uint8_t> all;
    std::vector<uint8_t> chunk(step);
    if (sawEnd) *sawEnd = false;
    while (all.size() < maxBytes) {
        const DWORD r = ReadFedOutput(chunk.data(), step);
        const DWORD n = r & ~BASS_STREAMPROC_END;
        all.insert(all.end(), chunk.begin(), chunk.begin() + n);
        if (r & BASS_STREAMPROC_END) {
            if (sawEnd) *sawEnd = true;
            break;
        }
    }
    return all;
}

::testing::AssertionResult framesInOrder(const std::vector<uint8_t>& bytes, uint32_t frameBytes,
                                         uint64_t first) {
    if (bytes.size() % frameBytes) return ::testing::AssertionFailure() << "partial frame at the end";
    for (size_t i = 0; i * frameBytes < bytes.size(); ++i) {
        const uint64_t got = frameNumber(bytes.data() + i * frameBytes, 16);
        if (got != ((first + i) & 0xFFFFFFFFu))
            return ::testing::AssertionFailure()
                   << "frame " << i << " carries " << got << ", expected " << first + i;
    }
    return ::testing::AssertionSuccess();
}

void HostTest::SetUp() {
    ensureLibrary();
    m_window = std::make_unique<MessageWindow>();
    ASSERT_TRUE(InitPluginHost(m_window->hwnd(), nullptr, nullptr, 0));
}

void HostTest::TearDown() {
    ShutdownPluginHost();
    m_window.reset();
}

}  // namespace hosttest
