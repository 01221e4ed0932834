// A lock between the run's threads.
#pragma once

#include <cstdint>

namespace tavrel {

class Lock {
  public:
    virtual ~Lock() = default;

    /// Waits as long as it takes. The program never takes it twice on one thread.
    virtual void acquire() = 0;
    /// Waits at most `milliseconds`; true when the lock is held.
    virtual bool tryAcquire(std::uint32_t milliseconds) = 0;
    virtual void release() = 0;
};

// Holds a lock for one scope.
class LockHold {
  public:
    explicit LockHold(Lock& lock) : lock_(lock) { lock_.acquire(); }
    ~LockHold() { lock_.release(); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

  private:
    Lock& lock_;
};

}  // namespace tavrel
