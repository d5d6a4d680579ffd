// Channel::PipeLock: holds a channel's pipe lock for a scope, unless this
// thread already holds it (a call made from inside the channel's own
// callback), which it reports instead of deadlocking.
#pragma once

#include "platform/audio/core/Channel.h"

namespace qaudio {

// The channel whose pipe this thread holds (innermost).
extern thread_local const Channel* t_pipeOwner;

// To the analysis it holds the pipe for its scope, as the thread does either way.
class QUILLET_SCOPED_CAPABILITY Channel::PipeLock {
  public:
    explicit PipeLock(Channel& c) QUILLET_ACQUIRE(c.m_pipe) QUILLET_NO_THREAD_SAFETY_ANALYSIS : m_channel(c) {
        if (t_pipeOwner == &c) {
            m_reentered = true;
            return;
        }
        c.m_pipe.lock();
        m_previous = t_pipeOwner;
        t_pipeOwner = &c;
    }
    ~PipeLock() QUILLET_RELEASE() QUILLET_NO_THREAD_SAFETY_ANALYSIS {
        if (m_reentered) return;
        t_pipeOwner = m_previous;
        m_channel.m_pipe.unlock();
    }
    PipeLock(const PipeLock&) = delete;
    PipeLock& operator=(const PipeLock&) = delete;
    // True when this thread already held the pipe (a call from the callback).
    bool reentered() const { return m_reentered; }

  private:
    Channel& m_channel;
    const Channel* m_previous = nullptr;
    bool m_reentered = false;
};

}  // namespace qaudio
