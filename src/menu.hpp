// SPDX-License-Identifier: MIT
// The interactive menu: build, sort and display one request list.
#pragma once

#include <cstdio>

#include "io_status.hpp"

namespace iosort {

// Shows the menu and acts on each choice read from `in` until choice 0 or
// the end of input, writing to standard output. A token that is not a
// 32-bit decimal integer is answered as an invalid choice. Stops at once,
// acting on no choice more, when a read from `in` or a write to standard
// output fails, and returns that failure; the last lines written may still
// wait in stdout's buffer. An exception from a failed allocation propagates
// after the list is freed.
IoStatus run_menu(std::FILE* in);

}  // namespace iosort
