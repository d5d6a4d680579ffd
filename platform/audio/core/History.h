// The most recent output of a playing channel, kept for BASS_ChannelGetData
// (samples and spectra of what is being heard). The output thread pushes
// every frame it writes to the device; readers copy a window of it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace qaudio {

class History {
  public:
    // Sizes the ring for `channels` and at least `minFrames` frames and
    // empties it. Not concurrent with push/copy.
    void reset(uint32_t channels, size_t minFrames);
    // Forgets the content (zeros), keeping the frame count running.
    void clear();
    void push(const float* frames, size_t count);
    // Total frames pushed so far.
    uint64_t written();
    size_t capacity() const { return m_capacity; }
    // Copies `count` frames from absolute frame `start`; frames that were
    // never pushed or are no longer kept read as silence. count <= capacity.
    void copy(uint64_t start, size_t count, float* out);

  private:
    std::mutex m_mutex;
    std::vector<float> m_ring;
    uint32_t m_channels = 0;
    size_t m_capacity = 0;  // frames, a power of two
    uint64_t m_written = 0;
};

}  // namespace qaudio
