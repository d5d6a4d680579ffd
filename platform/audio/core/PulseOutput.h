// Device 1: the sound server's default output through libpulse.
//
// PulseDevice is one connection to the server, opened by BASS_Init, with a
// pa_threaded_mainloop that runs the protocol on its own thread. Each playing
// channel gets its own pa_stream (PulseOutput), written by the channel's
// output thread. The threaded main loop, rather than the simple API, because
// it gives every stream what the channels need from the server: corking
// (pause and resume without losing or replaying what is queued), flushing
// (stop and seek are heard at once), draining (the end of a stream is played
// out before the channel reports it), timing information (the position is
// what is heard), and one server connection for all channels.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

#include "platform/audio/core/Output.h"

namespace qaudio {

// Stops the loop's thread (if it runs) and frees the loop.
struct PulseLoopRelease {
    void operator()(pa_threaded_mainloop* loop) const;
};
// Disconnects and unreferences a context under its loop's lock.
struct PulseContextRelease {
    pa_threaded_mainloop* loop = nullptr;
    void operator()(pa_context* context) const;
};

class PulseDevice : public std::enable_shared_from_this<PulseDevice> {
  public:
    // Connects to the default server; nullptr when it cannot be reached. The
    // connection lives as long as the last reference: every output opened on
    // it holds one, so the library can let go of the device while a channel
    // object is still referenced somewhere.
    static std::shared_ptr<PulseDevice> connect();
    ~PulseDevice() = default;
    PulseDevice(const PulseDevice&) = delete;
    PulseDevice& operator=(const PulseDevice&) = delete;

    // Opens a playback stream of the given rate and channels (float samples)
    // on the default sink, keeping about `targetMs` queued; nullptr on
    // failure.
    std::unique_ptr<Output> openOutput(const SampleFormat& format, uint32_t targetMs);
    // The server's protocol version (reported as the sound-system version).
    uint32_t serverVersion();

  private:
    using LoopPtr = std::unique_ptr<pa_threaded_mainloop, PulseLoopRelease>;
    using ContextPtr = std::unique_ptr<pa_context, PulseContextRelease>;

    PulseDevice() = default;
    // Torn down in reverse: the context (under the loop's lock), then the loop.
    LoopPtr m_loop;
    ContextPtr m_context;
};

}  // namespace qaudio
