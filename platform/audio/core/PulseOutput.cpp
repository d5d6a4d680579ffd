#include "platform/audio/core/PulseOutput.h"

#include <algorithm>
#include <cstring>

namespace qaudio {

namespace {

// Holds the threaded main loop's lock for a scope.
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* m_loop;
};

void signalLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

class PulseOutput : public Output {
  public:
    PulseOutput(std::shared_ptr<PulseDevice> device, pa_threaded_mainloop* loop, pa_stream* stream,
                const SampleFormat& f)
        : m_device(std::move(device)),
          m_loop(loop),
          m_stream(stream),
          m_frameBytes(f.channels * sizeof(float)),
          m_rate(f.rate) {}

    ~PulseOutput() override {
        LoopLock lock(m_loop);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }

    size_t waitWritable(size_t minFrames, size_t maxFrames) override {
        LoopLock lock(m_loop);
        const pa_buffer_attr* attr = pa_stream_get_buffer_attr(m_stream);
        const size_t target = attr ? attr->tlength / m_frameBytes : minFrames;
        minFrames = std::max<size_t>(1, std::min(minFrames, target));
        for (;;) {
            if (m_interrupted || !goodLocked()) return 0;
            const size_t room = pa_stream_writable_size(m_stream) / m_frameBytes;
            if (room >= minFrames) return std::min(room, maxFrames);
            pa_threaded_mainloop_wait(m_loop);
        }
    }

    bool write(const float* data, size_t frames) override {
        LoopLock lock(m_loop);
        if (!goodLocked()) return false;
        return pa_stream_write(m_stream, data, frames * m_frameBytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
    }

    uint64_t queuedFrames() override {
        LoopLock lock(m_loop);
        pa_usec_t usec = 0;
        int negative = 0;
        if (pa_stream_get_latency(m_stream, &usec, &negative) != 0 || negative) return 0;
        return usec * m_rate / 1000000;
    }

    bool drain() override {
        LoopLock lock(m_loop);
        if (!goodLocked()) return false;
        pa_operation* op = pa_stream_drain(m_stream, &PulseOutput::onSuccess, m_loop);
        if (!op) return false;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && !m_interrupted && goodLocked()) {
            pa_threaded_mainloop_wait(m_loop);
        }
        const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!done) pa_operation_cancel(op);
        pa_operation_unref(op);
        return done;
    }

    void setPaused(bool paused) override {
        LoopLock lock(m_loop);
        waitLocked(pa_stream_cork(m_stream, paused ? 1 : 0, &PulseOutput::onSuccess, m_loop));
        waitLocked(pa_stream_update_timing_info(m_stream, &PulseOutput::onSuccess, m_loop));
    }

    void flush() override {
        LoopLock lock(m_loop);
        waitLocked(pa_stream_flush(m_stream, &PulseOutput::onSuccess, m_loop));
        waitLocked(pa_stream_update_timing_info(m_stream, &PulseOutput::onSuccess, m_loop));
    }

    void interrupt() override {
        LoopLock lock(m_loop);
        m_interrupted = true;
        pa_threaded_mainloop_signal(m_loop, 0);
    }

    void clearInterrupt() override {
        LoopLock lock(m_loop);
        m_interrupted = false;
    }

    bool failed() override {
        LoopLock lock(m_loop);
        return !goodLocked();
    }

    static void onSuccess(pa_stream*, int, void* loop) {
        signalLoop(static_cast<pa_threaded_mainloop*>(loop));
    }

  private:
    bool goodLocked() const { return pa_stream_get_state(m_stream) == PA_STREAM_READY; }
    // Waits for an operation to complete; the caller holds the loop lock.
    void waitLocked(pa_operation* op) {
        if (!op) return;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && goodLocked()) {
            pa_threaded_mainloop_wait(m_loop);
        }
        pa_operation_unref(op);
    }

    std::shared_ptr<PulseDevice> m_device;
    pa_threaded_mainloop* m_loop;
    pa_stream* m_stream;
    const size_t m_frameBytes;
    const uint32_t m_rate;
    bool m_interrupted = false;  // guarded by the loop lock
};

void onContextState(pa_context*, void* loop) {
    signalLoop(static_cast<pa_threaded_mainloop*>(loop));
}
void onStreamEvent(pa_stream*, void* loop) {
    signalLoop(static_cast<pa_threaded_mainloop*>(loop));
}
void onStreamRequest(pa_stream*, size_t, void* loop) {
    signalLoop(static_cast<pa_threaded_mainloop*>(loop));
}

}  // namespace

std::shared_ptr<PulseDevice> PulseDevice::connect() {
    std::shared_ptr<PulseDevice> dev(new PulseDevice());
    dev->m_loop = pa_threaded_mainloop_new();
    if (!dev->m_loop) return nullptr;
    dev->m_context = pa_context_new(pa_threaded_mainloop_get_api(dev->m_loop), "Quillet");
    if (!dev->m_context) return nullptr;
    pa_context_set_state_callback(dev->m_context, onContextState, dev->m_loop);
    // No autospawn: a missing server is reported to the caller, not started
    // behind its back.
    if (pa_context_connect(dev->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return nullptr;
    if (pa_threaded_mainloop_start(dev->m_loop) < 0) return nullptr;
    LoopLock lock(dev->m_loop);
    for (;;) {
        const pa_context_state_t s = pa_context_get_state(dev->m_context);
        if (s == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(s)) return nullptr;  // the destructor needs the lock: released first
        pa_threaded_mainloop_wait(dev->m_loop);
    }
    return dev;
}

PulseDevice::~PulseDevice() {
    if (!m_loop) return;
    if (m_context) {
        {
            LoopLock lock(m_loop);
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

uint32_t PulseDevice::serverVersion() {
    LoopLock lock(m_loop);
    return pa_context_get_server_protocol_version(m_context);
}

std::unique_ptr<Output> PulseDevice::openOutput(const SampleFormat& format, uint32_t targetMs) {
    pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, format.rate, uint8_t(format.channels)};
    if (!pa_sample_spec_valid(&spec)) return nullptr;
    pa_channel_map map;
    if (!pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) return nullptr;
    const uint32_t frameBytes = format.channels * sizeof(float);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(uint64_t(format.rate) * targetMs / 1000) * frameBytes;
    attr.prebuf = uint32_t(-1);
    // Requests of 40 % of the queue: the writer wakes a few times per queue
    // length and refills in large pieces, while 60 % stays queued.
    attr.minreq = std::max<uint32_t>(frameBytes, attr.tlength * 2 / 5 / frameBytes * frameBytes);
    attr.fragsize = uint32_t(-1);

    LoopLock lock(m_loop);
    pa_stream* s = pa_stream_new(m_context, "Quillet playback", &spec, &map);
    if (!s) return nullptr;
    pa_stream_set_state_callback(s, onStreamEvent, m_loop);
    pa_stream_set_write_callback(s, onStreamRequest, m_loop);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                         PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        pa_stream_unref(s);
        return nullptr;
    }
    for (;;) {
        const pa_stream_state_t st = pa_stream_get_state(s);
        if (st == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(st)) {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_set_write_callback(s, nullptr, nullptr);
            pa_stream_unref(s);
            return nullptr;
        }
        pa_threaded_mainloop_wait(m_loop);
    }
    return std::make_unique<PulseOutput>(shared_from_this(), m_loop, s, format);
}

}  // namespace qaudio
