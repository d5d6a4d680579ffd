// The table of live channels by handle. Handles are never 0 and are not
// reused until the 32-bit counter wraps, so a stale handle is refused
// (BASS_ERROR_HANDLE) rather than reaching another channel. Thread-safe.
#pragma once

#include <memory>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "platform/audio/bass.h"

namespace qaudio {

class Channel;

class HandleTable {
  public:
    DWORD reserve();
    void insert(DWORD handle, std::shared_ptr<Channel> channel);
    std::shared_ptr<Channel> find(DWORD handle);
    // Removes and returns the channel (nullptr when unknown).
    std::shared_ptr<Channel> take(DWORD handle);
    std::vector<std::shared_ptr<Channel>> takeAll();

  private:
    std::shared_mutex m_mutex;
    std::unordered_map<DWORD, std::shared_ptr<Channel>> m_channels;
    DWORD m_next = 0x10000;
};

}  // namespace qaudio
