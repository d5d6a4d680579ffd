// Lock annotations for clang's thread-safety analysis (-Wthread-safety), and a mutex
// that carries them.
//
// A member marked QUILLET_GUARDED_BY(m) may be touched only while m is held; a
// function marked QUILLET_REQUIRES(m) only with m held. Under clang the analysis
// checks this at compile time (the `tsa` configuration of scripts/build.sh); under
// other compilers the macros expand to nothing. std::mutex of libstdc++ carries no
// annotations, hence Mutex and MutexLock below.
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define QUILLET_TSA(x) __attribute__((x))
#else
#define QUILLET_TSA(x)
#endif

#define QUILLET_CAPABILITY(name) QUILLET_TSA(capability(name))
#define QUILLET_SCOPED_CAPABILITY QUILLET_TSA(scoped_lockable)
#define QUILLET_GUARDED_BY(m) QUILLET_TSA(guarded_by(m))
#define QUILLET_PT_GUARDED_BY(m) QUILLET_TSA(pt_guarded_by(m))
#define QUILLET_REQUIRES(...) QUILLET_TSA(requires_capability(__VA_ARGS__))
#define QUILLET_EXCLUDES(...) QUILLET_TSA(locks_excluded(__VA_ARGS__))
#define QUILLET_ACQUIRE(...) QUILLET_TSA(acquire_capability(__VA_ARGS__))
#define QUILLET_RELEASE(...) QUILLET_TSA(release_capability(__VA_ARGS__))
#define QUILLET_TRY_ACQUIRE(...) QUILLET_TSA(try_acquire_capability(__VA_ARGS__))
#define QUILLET_ACQUIRED_BEFORE(...) QUILLET_TSA(acquired_before(__VA_ARGS__))
#define QUILLET_NO_THREAD_SAFETY_ANALYSIS QUILLET_TSA(no_thread_safety_analysis)

namespace quillet {

// std::mutex with annotations.
class QUILLET_CAPABILITY("mutex") Mutex {
  public:
    void lock() QUILLET_ACQUIRE() { m_mutex.lock(); }
    void unlock() QUILLET_RELEASE() { m_mutex.unlock(); }
    bool try_lock() QUILLET_TRY_ACQUIRE(true) { return m_mutex.try_lock(); }

  private:
    std::mutex m_mutex;
};

// Holds a Mutex for a scope; may let it go and take it again inside the scope.
// Condition variables wait on it as a lock (std::condition_variable_any); the analysis
// sees the mutex held across the wait, as it is on return.
class QUILLET_SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) QUILLET_ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() QUILLET_RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void lock() QUILLET_ACQUIRE() QUILLET_NO_THREAD_SAFETY_ANALYSIS { m_mutex.lock(); }
    void unlock() QUILLET_RELEASE() QUILLET_NO_THREAD_SAFETY_ANALYSIS { m_mutex.unlock(); }

  private:
    Mutex& m_mutex;
};

// The condition variable that waits on a MutexLock.
using CondVar = std::condition_variable_any;

}  // namespace quillet
