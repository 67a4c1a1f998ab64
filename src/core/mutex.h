#pragma once
// Mutexes the thread-safety analysis knows, and their scoped lockers. Use
// these for state shared between threads, with GUARDED_BY on the members.

#include "core/thread_annotations.h"

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
  explicit TkvRecursiveLock(TkvRecursiveMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~TkvRecursiveLock() RELEASE() { mutex_.unlock(); }
  TkvRecursiveLock(const TkvRecursiveLock&) = delete;
  TkvRecursiveLock& operator=(const TkvRecursiveLock&) = delete;

 private:
  TkvRecursiveMutex& mutex_;
};
