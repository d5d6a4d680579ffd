// One channel: a stream (file or user callback) or a tracker module.
//
// A decoding channel (BASS_STREAM_DECODE) is pulled by its caller with
// getData. Any other channel plays: on its first play it gets an Output from
// the device and an output thread of its own, which pulls frames from the
// source, applies the global and channel volumes (ramped between successive
// values), keeps them in its History and writes them to the Output; the
// Output keeps at most ~100 ms queued, so the position reported is the one
// being heard and pause, stop and volume changes are heard within that.
//
// Locks, outermost first:
//   m_pipe   - everything that moves data: source reads (a user callback may
//              block while it is held), seeks, output writes and flushes, the
//              decoded position. Held by the output thread while it pulls and
//              writes one chunk, and by getData on decoding channels.
//   m_state  - play state, the thread's wake-up condition; held briefly.
//   (inside) the Output's, the History's and the SyncList's own locks.
// A control call made from inside the channel's own callback (the thread
// already holding m_pipe) does not wait for the pipe: stop and free complete
// once the callback has returned, on that same thread.
//
// Every public method may be called from any thread. They return a BASS
// error code (BASS_OK on success) and write results to out-parameters.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/core/Format.h"
#include "platform/audio/core/History.h"
#include "platform/audio/core/Output.h"
#include "platform/audio/core/Slides.h"
#include "platform/audio/core/Source.h"
#include "platform/audio/core/Syncs.h"
#include "platform/threads/ThreadSafety.h"

namespace qaudio {

// What channels use of the library. Outlives every channel.
struct ChannelEnv {
    SyncDispatcher* syncs = nullptr;
    SlideEngine* slides = nullptr;
    // Opens the device's output for a format; nullptr when it cannot.
    std::function<std::unique_ptr<Output>(const SampleFormat&)> openOutput;
    // Global volumes, 0..10000.
    std::atomic<uint32_t>* streamVolume = nullptr;
    std::atomic<uint32_t>* musicVolume = nullptr;
    // Frees a channel by handle (BASS_STREAM_AUTOFREE at its end).
    std::function<void(DWORD)> freeHandle;
};

struct ChannelSetup {
    DWORD handle = 0;
    std::unique_ptr<Source> source;
    SampleFormat format;  // rate, channels, bytes per sample of the output
    DWORD flags = 0;      // BASS_SAMPLE_* / BASS_STREAM_* / BASS_MUSIC_*
    bool music = false;
    std::string fileName;
    HPLUGIN plugin = 0;
    // Keeps the add-on that made the decoder loaded while the channel lives.
    std::shared_ptr<void> keepAlive;
};

class Channel : public SlideTarget, public std::enable_shared_from_this<Channel> {
  public:
    Channel(ChannelEnv& env, ChannelSetup setup);
    ~Channel() override;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    DWORD handle() const { return m_handle; }
    bool isMusic() const { return m_music; }
    bool isDecoding() const { return (m_flags & BASS_STREAM_DECODE) != 0; }
    const SampleFormat& format() const { return m_format; }

    void info(BASS_CHANNELINFO& out) const;
    // A NUL-terminated tag block valid for the channel's life, or nullptr.
    const char* tags(DWORD type);
    DWORD activeState();

    int play(bool restart);
    int pause();
    int stop();

    int length(QWORD& bytes);
    int position(QWORD& bytes);
    int setPosition(QWORD bytes);
    int filePosition(DWORD mode, QWORD& out);

    // BASS_ChannelGetData: `length` is a byte count (optionally with
    // BASS_DATA_FLOAT), BASS_DATA_AVAILABLE or a BASS_DATA_FFT* request.
    int getData(void* buffer, DWORD length, DWORD& result);

    int setAttribute(DWORD attrib, float value);
    int slideAttribute(DWORD attrib, float value, DWORD ms);

    int setSync(DWORD type, QWORD param, SYNCPROC proc, void* user, HSYNC& out);
    int removeSync(HSYNC sync);

    // Stops everything the channel runs (slides end with their syncs, the
    // output thread ends once a running callback has returned) and raises
    // BASS_SYNC_FREE. The object stays valid for holders of a reference;
    // further calls on it are refused by the handle table.
    void free();

    // SlideTarget
    void setSlidValue(DWORD attrib, float value) override;
    void slideEnded(DWORD attrib) override;

  private:
    enum class State { Stopped, Playing, Paused };
    class PipeLock;

    // Reads up to `frames` frames, looping over short reads, and advances the
    // position. Loops a BASS_SAMPLE_LOOP channel. Caller holds m_pipe.
    size_t pullLocked(float* out, size_t frames) QUILLET_REQUIRES(m_pipe);
    // Flushes the output and rewinds the source to what was heard. Caller holds m_pipe.
    void completeStopLocked() QUILLET_REQUIRES(m_pipe);
    // The frame being heard: decoded frames less what the output still
    // queues. A stopped channel's output holds nothing of it any more.
    uint64_t heardFrames(bool live);
    // The source's length: a download's may become known while it plays.
    std::optional<uint64_t> lengthFrames() const;
    float gain() const;
    void applyGain(float* frames, size_t count, float from, float to) const;
    int ensureOutput();
    void outputLoop();
    void raise(DWORD type, DWORD data);
    int getDecodedData(void* buffer, DWORD length, DWORD& result);
    int getPlayedData(void* buffer, DWORD length, DWORD& result);

    ChannelEnv& m_env;
    const DWORD m_handle;
    const SampleFormat m_format;
    const DWORD m_flags;
    const bool m_music;
    const std::string m_fileName;
    const HPLUGIN m_plugin;
    const std::shared_ptr<void> m_keepAlive;
    // Constant properties of the source, read once.
    std::optional<uint64_t> m_lengthFrames;
    uint32_t m_channelType = 0;
    bool m_isFile = false;
    SyncList m_syncs;
    NetInfo* m_net = nullptr;  // set for network streams, owned by m_source

    quillet::Mutex m_pipe;
    std::unique_ptr<Source> m_source QUILLET_GUARDED_BY(m_pipe);
    std::vector<float> m_scratch QUILLET_GUARDED_BY(m_pipe);
    // A stop made inside the callback, completed by the pipe's holder.
    bool m_stopPending QUILLET_GUARDED_BY(m_pipe) = false;
    std::atomic<uint64_t> m_srcPos{0};  // frames delivered by the source (read without the lock)
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_endRaised{false};
    std::atomic<bool> m_starved{false};  // the user stream had no data on the last pull

    quillet::Mutex m_state;
    quillet::CondVar m_wake;
    std::atomic<State> m_play{State::Stopped};  // written under m_state, read anywhere
    uint64_t m_generation QUILLET_GUARDED_BY(m_state) = 0;  // bumped by every control call
    bool m_quit QUILLET_GUARDED_BY(m_state) = false;
    bool m_freed QUILLET_GUARDED_BY(m_state) = false;
    std::thread m_thread;
    std::unique_ptr<Output> m_output;  // created once (under m_state), lives until the channel is destroyed
    std::atomic<Output*> m_out{nullptr};  // the same, for reading without m_state

    std::atomic<float> m_volume{1.0f};
    std::atomic<float> m_pan{0.0f};
    History m_history;

    quillet::Mutex m_tagsMutex;
    std::map<DWORD, std::string> m_tags QUILLET_GUARDED_BY(m_tagsMutex);
    // A network stream's texts, which change while it plays. Each text lives on
    // the heap, and a replaced one is kept a while, so a pointer handed out
    // stays valid (and unchanged) until several more changes.
    std::map<DWORD, std::unique_ptr<const std::string>> m_netTags QUILLET_GUARDED_BY(m_tagsMutex);
    std::deque<std::unique_ptr<const std::string>> m_oldTags QUILLET_GUARDED_BY(m_tagsMutex);
};

}  // namespace qaudio
