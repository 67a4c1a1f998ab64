#pragma once
// Lock contracts the compiler checks: clang's thread-safety analysis
// (-Wthread-safety). Under other compilers the macros expand to nothing.

#if defined(__clang__)
#define TABRIX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TABRIX_THREAD_ANNOTATION(x)
#endif

// A type that is a lock (a mutex); x names its kind in messages.
#define CAPABILITY(x) TABRIX_THREAD_ANNOTATION(capability(x))
// A type whose objects hold a lock for their lifetime.
#define SCOPED_CAPABILITY TABRIX_THREAD_ANNOTATION(scoped_lockable)
// A member read and written only with the lock held.
#define GUARDED_BY(x) TABRIX_THREAD_ANNOTATION(guarded_by(x))
// The object a pointer member points to is read and written only with the lock held.
#define PT_GUARDED_BY(x) TABRIX_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) TABRIX_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TABRIX_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
// The caller holds the lock(s).
#define REQUIRES(...) TABRIX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) TABRIX_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// The function takes the lock(s) and returns with them held.
#define ACQUIRE(...) TABRIX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// The function releases the lock(s) the caller held.
#define RELEASE(...) TABRIX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TABRIX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// The caller must not hold the lock(s): the function takes them itself.
#define EXCLUDES(...) TABRIX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) TABRIX_THREAD_ANNOTATION(assert_capability(x))
// The function returns a reference to the lock x.
#define RETURN_CAPABILITY(x) TABRIX_THREAD_ANNOTATION(lock_returned(x))
// The function is not checked (for code the analysis cannot follow).
#define NO_THREAD_SAFETY_ANALYSIS TABRIX_THREAD_ANNOTATION(no_thread_safety_analysis)
