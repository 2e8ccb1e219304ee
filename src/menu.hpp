// The interactive menu: build, sort and display one request list.
#pragma once

#include <istream>

// Shows the menu and acts on each choice read from `in` until choice 0 or
// the end of input, writing to standard output. A token that is not a
// 32-bit decimal integer is answered as an invalid choice. Returns 0, or
// the error number of a failed write to standard output, after which it
// reads no further. A failed allocation throws std::bad_alloc after the
// list is freed.
int run_menu(std::istream& in);
