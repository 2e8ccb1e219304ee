// SPDX-License-Identifier: MIT
// What differs between the systems and compilers iosort builds with, each
// in this one place, so that a port changes this file and not its users.
#pragma once

#include <cstdint>

namespace iosort::platform {

// Four 32-bit lanes, which gcc and clang lower to the target's vectors: SSE2
// at x86-64's baseline, NEON on arm64.
using Int32x4 [[gnu::vector_size(16)]] = std::int32_t;

// Makes standard output ready for what the program writes; called before
// anything is. Only Windows needs it: see platform.cpp.
#ifdef _WIN32
void prepare_console();
#else
inline void prepare_console() {}
#endif

}  // namespace iosort::platform

// A function built for AVX2 and for the baseline on x86-64 ELF systems, whose
// loader picks the one the processor runs; MinGW's cannot. AVX2 brings the
// signed maximum in one instruction and operands that need no copy. Out of
// line either way, so that the sort's guard sees it run.
#if defined(__x86_64__) && defined(__ELF__)
#define IOSORT_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define IOSORT_AVX2_CLONES [[gnu::noinline]]
#endif
