#pragma once
// Mutexes the thread-safety analysis knows, and their scoped lockers. Use
// these for state shared between threads, with GUARDED_BY on the members.

#include "core/thread_annotations.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// A non-recursive mutex.
class CAPABILITY("mutex") TkvMutex {
 public:
  TkvMutex() = default;
  TkvMutex(const TkvMutex&) = delete;
  TkvMutex& operator=(const TkvMutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// A mutex the holding thread may take again (the batch's item list).
class CAPABILITY("mutex") TkvRecursiveMutex {
 public:
  TkvRecursiveMutex() = default;
  TkvRecursiveMutex(const TkvRecursiveMutex&) = delete;
  TkvRecursiveMutex& operator=(const TkvRecursiveMutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a TkvMutex from construction to destruction.
class SCOPED_CAPABILITY TkvMutexLock {
 public:
  explicit TkvMutexLock(TkvMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~TkvMutexLock() RELEASE() { mutex_.unlock(); }
  TkvMutexLock(const TkvMutexLock&) = delete;
  TkvMutexLock& operator=(const TkvMutexLock&) = delete;

 private:
  TkvMutex& mutex_;
};

// Holds a TkvRecursiveMutex from construction to destruction.
class SCOPED_CAPABILITY TkvRecursiveLock {
 public:
  explicit TkvRecursiveLock(TkvRecursiveMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) {
    mutex_.lock();
  }
  ~TkvRecursiveLock() RELEASE() { mutex_.unlock(); }
  TkvRecursiveLock(const TkvRecursiveLock&) = delete;
  TkvRecursiveLock& operator=(const TkvRecursiveLock&) = delete;

 private:
  TkvRecursiveMutex& mutex_;
};

// A condition variable waited on with a TkvMutex held. Notify after the
// waited-for state changed under that mutex, so that no wake-up is lost.
class TkvCondition {
 public:
  TkvCondition() = default;
  TkvCondition(const TkvCondition&) = delete;
  TkvCondition& operator=(const TkvCondition&) = delete;

  // Releases `mutex` while waiting and holds it again on return. Wake-ups
  // may be spurious: look at the state again.
  void Wait(TkvMutex& mutex) REQUIRES(mutex) { cv_.wait(mutex); }
  // As Wait, at most `timeout`; false when it passed without a wake-up.
  bool WaitFor(TkvMutex& mutex, std::chrono::milliseconds timeout) REQUIRES(mutex) {
    return cv_.wait_for(mutex, timeout) == std::cv_status::no_timeout;
  }
  void NotifyAll() { cv_.notify_all(); }

 private:
  std::condition_variable_any cv_;
};
