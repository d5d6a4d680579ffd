#include "platform/audio/core/PulseOutput.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/log/Log.h"

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

// Ends a stream's life: no more callbacks, off the server, unreferenced. The caller
// holds the loop lock.
void releaseStreamLocked(pa_stream* stream) {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

// Why the last call on the connection failed, for the log.
std::string contextError(pa_context* context) {
    return pa_strerror(pa_context_errno(context));
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
        releaseStreamLocked(m_stream);
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

    // The server's smoothed latency, or when that reads 0, what its last timing
    // report still leaves queued. The smoothed clock starts running as soon as the stream
    // is uncorked, even when the sink has not begun to read yet (a sink waking from
    // a long idle latency takes up to seconds): it then runs ahead of the write
    // index, and since it never runs backwards the latency reads 0 until real
    // playback catches up, while plenty is still queued.
    uint64_t queuedFrames() override {
        LoopLock lock(m_loop);
        pa_usec_t usec = 0;
        int negative = 0;
        if (pa_stream_get_latency(m_stream, &usec, &negative) != 0 || negative) usec = 0;
        if (usec == 0) usec = reportedQueueLocked();
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
    // From the last timing report: what the server held unread plus the sink's own
    // latency, less the time played since; 0 when the report is missing or stale.
    pa_usec_t reportedQueueLocked() const {
        const pa_timing_info* t = pa_stream_get_timing_info(m_stream);
        if (!t || t->write_index_corrupt || t->read_index_corrupt || t->write_index <= t->read_index)
            return 0;
        const pa_usec_t ahead =
            uint64_t(t->write_index - t->read_index) / m_frameBytes * 1000000 / m_rate + t->sink_usec;
        const pa_usec_t played = t->playing ? pa_timeval_age(&t->timestamp) : 0;
        return ahead > played ? ahead - played : 0;
    }
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

void PulseLoopRelease::operator()(pa_threaded_mainloop* loop) const {
    pa_threaded_mainloop_stop(loop);  // returns at once when it never started
    pa_threaded_mainloop_free(loop);
}

void PulseContextRelease::operator()(pa_context* context) const {
    LoopLock lock(loop);
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

std::shared_ptr<PulseDevice> PulseDevice::connect() {
    std::shared_ptr<PulseDevice> dev(new PulseDevice());
    dev->m_loop.reset(pa_threaded_mainloop_new());
    if (!dev->m_loop) {
        quillet::log::write("audio", "cannot create the sound server's main loop");
        return nullptr;
    }
    pa_threaded_mainloop* loop = dev->m_loop.get();
    dev->m_context =
        ContextPtr(pa_context_new(pa_threaded_mainloop_get_api(loop), "Quillet"), PulseContextRelease{loop});
    if (!dev->m_context) {
        quillet::log::write("audio", "cannot create a sound server connection");
        return nullptr;
    }
    pa_context* context = dev->m_context.get();
    pa_context_set_state_callback(context, onContextState, loop);
    // No autospawn: a missing server is reported to the caller, not started
    // behind its back.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        quillet::log::write("audio", "cannot reach the sound server: " + contextError(context));
        return nullptr;
    }
    if (pa_threaded_mainloop_start(loop) < 0) {
        quillet::log::write("audio", "cannot start the sound server's main loop");
        return nullptr;
    }
    LoopLock lock(loop);  // released before dev is, whose teardown takes it again
    for (;;) {
        const pa_context_state_t s = pa_context_get_state(context);
        if (s == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(s)) {
            quillet::log::write("audio", "the sound server refused the connection: " + contextError(context));
            return nullptr;
        }
        pa_threaded_mainloop_wait(loop);
    }
    return dev;
}

uint32_t PulseDevice::serverVersion() {
    LoopLock lock(m_loop.get());
    return pa_context_get_server_protocol_version(m_context.get());
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

    pa_threaded_mainloop* loop = m_loop.get();
    pa_context* context = m_context.get();
    LoopLock lock(loop);
    pa_stream* s = pa_stream_new(context, "Quillet playback", &spec, &map);
    if (!s) {
        quillet::log::write("audio", "cannot create a playback stream: " + contextError(context));
        return nullptr;
    }
    pa_stream_set_state_callback(s, onStreamEvent, loop);
    pa_stream_set_write_callback(s, onStreamRequest, loop);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                         PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        quillet::log::write("audio", "cannot connect a playback stream: " + contextError(context));
        releaseStreamLocked(s);
        return nullptr;
    }
    for (;;) {
        const pa_stream_state_t st = pa_stream_get_state(s);
        if (st == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(st)) {
            quillet::log::write("audio",
                                "the sound server refused a playback stream: " + contextError(context));
            releaseStreamLocked(s);
            return nullptr;
        }
        pa_threaded_mainloop_wait(loop);
    }
    return std::make_unique<PulseOutput>(shared_from_this(), loop, s, format);
}

}  // namespace qaudio
