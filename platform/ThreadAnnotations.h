// Clang thread-safety attributes behind short names. A clang build with -Wthread-safety checks
// them; other compilers see nothing.
#pragma once

#if defined(__clang__)
#define SC_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define SC_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) SC_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY SC_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) SC_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) SC_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) SC_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) SC_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) SC_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) SC_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) SC_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) SC_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) SC_THREAD_ANNOTATION(assert_capability(x))
#define NO_THREAD_SAFETY_ANALYSIS SC_THREAD_ANNOTATION(no_thread_safety_analysis)
