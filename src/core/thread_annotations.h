#pragma once

#include <mutex>

// Clang's thread-safety analysis over the data that workers share with the
// user-interface thread: a member marked GUARDED_BY(m) may only be touched
// while m is held, and the clang build fails when it is not. Other compilers
// see nothing. std::mutex carries no annotations in libstdc++, hence the
// small wrappers below.
#if defined(__clang__)
#define CW_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define CW_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) CW_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY CW_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) CW_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) CW_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRE(...) CW_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) CW_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define REQUIRES(...) CW_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) CW_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace cloakwise {

class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for the rest of the block.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace cloakwise
