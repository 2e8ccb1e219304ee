// SPDX-License-Identifier: MIT
// Windows' side of platform.hpp; other systems need no code here.
#include "platform.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace iosort::platform {

namespace {

HANDLE console = INVALID_HANDLE_VALUE;
DWORD console_mode = 0;

// The console is the user's after the program ends: it gets its mode back.
void restore_console() { SetConsoleMode(console, console_mode); }

}  // namespace

void prepare_console() {
  // A standard output closed at the start has nothing to prepare, and the C
  // runtime may end the program for a mode set on a descriptor it lacks. The
  // first write fails instead, and says so.
  console = GetStdHandle(STD_OUTPUT_HANDLE);
  const int descriptor = _fileno(stdout);
  if (console == INVALID_HANDLE_VALUE || console == nullptr || descriptor < 0) {
    return;
  }
  // The program ends its lines in CR LF itself, which the C runtime's text
  // mode would write as CR CR LF.
  static_cast<void>(_setmode(descriptor, _O_BINARY));
  // The report's colours are escape sequences, which a console shows as such
  // unless virtual-terminal processing is on. Should the console refuse it,
  // they go out as they are; output to a file or a pipe is no console.
  if (GetConsoleMode(console, &console_mode) != 0 &&
      SetConsoleMode(console,
                     console_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
    static_cast<void>(std::atexit(restore_console));
  }
}

}  // namespace iosort::platform
#endif
