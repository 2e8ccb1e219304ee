// The interactive menu: build, sort and display one request list.
#pragma once

#include <streambuf>

// Shows the menu and acts on each choice read from `in` until choice 0 or
// the end of input, writing to standard output. A token that is not a
// 32-bit decimal integer is answered as an invalid choice. Returns early,
// without reading further, once standard output cannot be written; the
// error stays on stdout for the caller. An exception from `in` or from a
// failed allocation propagates after the list is freed.
void run_menu(std::streambuf& in);
