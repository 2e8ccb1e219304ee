// SPDX-License-Identifier: MIT
// What differs between the systems and compilers iosort builds with, each
// in this one place, so that a port changes this file and not its users.
#pragma once

// Keeps a function out of line where inlining it makes the program slower.
#ifdef __GNUC__
#define IOSORT_NOINLINE [[gnu::noinline]]
#else
#define IOSORT_NOINLINE
#endif

namespace iosort::platform {

// Makes standard output ready for what the program writes; called before
// anything is. Only Windows needs it: see platform.cpp.
#ifdef _WIN32
void prepare_console();
#else
inline void prepare_console() {}
#endif

// Asks for the cache line at `address` ahead of a read. Only a hint: without
// it the program is slower, never wrong.
inline void prefetch([[maybe_unused]] const void* address) {
#ifdef __GNUC__
  __builtin_prefetch(address);
#endif
}

}  // namespace iosort::platform
