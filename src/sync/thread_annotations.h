// Lock rules the compiler checks: clang's thread-safety attributes, read by
// a clang build with -Wthread-safety (PUMPWIRE_THREAD_SAFETY=ON); other
// compilers see nothing. A field says which lock guards it, a function which
// lock it needs held or takes itself, a lock which locks it comes after.
#pragma once

#if defined(__clang__) && defined(__has_attribute)
#define PW_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PW_THREAD_ANNOTATION(x)
#endif

// A class that is a lock.
#define CAPABILITY(name) PW_THREAD_ANNOTATION(capability(name))
// An object whose lifetime holds a lock (MutexLock).
#define SCOPED_CAPABILITY PW_THREAD_ANNOTATION(scoped_lockable)

// Data read and written only with the lock held.
#define GUARDED_BY(lock) PW_THREAD_ANNOTATION(guarded_by(lock))
// Data reached through this pointer only with the lock held.
#define PT_GUARDED_BY(lock) PW_THREAD_ANNOTATION(pt_guarded_by(lock))

// Lock order: this lock is taken only while the named ones are held or free,
// never the other way round.
#define ACQUIRED_AFTER(...) PW_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) PW_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))

// The caller holds the lock.
#define EXCLUSIVE_LOCKS_REQUIRED(...) PW_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The caller must not hold the lock: the function takes it.
#define LOCKS_EXCLUDED(...) PW_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function returns a reference to this lock.
#define LOCK_RETURNED(x) PW_THREAD_ANNOTATION(lock_returned(x))

#define EXCLUSIVE_LOCK_FUNCTION(...) PW_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define UNLOCK_FUNCTION(...) PW_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ASSERT_EXCLUSIVE_LOCK(...) PW_THREAD_ANNOTATION(assert_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS PW_THREAD_ANNOTATION(no_thread_safety_analysis)
