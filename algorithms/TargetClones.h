// Hot loops built twice, for AVX2 and for any x86-64; the loader picks one per machine.
#pragma once

// ThreadSanitizer builds take one version: the loader runs the chooser before the sanitizer
// is set up, and an instrumented chooser crashes there.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define ZD_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZD_TARGET_CLONES
#endif

// Clang before 16 cannot clone templates (the fuzzing build uses clang 14): they stay single there.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !(defined(__clang__) && __clang_major__ < 16)
#define ZD_TARGET_CLONES_TEMPLATE ZD_TARGET_CLONES
#else
#define ZD_TARGET_CLONES_TEMPLATE
#endif
