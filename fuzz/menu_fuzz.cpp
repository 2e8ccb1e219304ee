// Feeds arbitrary bytes to the menu loop as its standard input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <streambuf>

#include "menu.hpp"

namespace {

// Serves the fuzzer's bytes in place, with no copy. libFuzzer's buffer ends
// exactly where the input does, so ASan catches any read past the end,
// which a copy into a std::string (with its terminator and spare capacity)
// would hide.
class ByteSource : public std::streambuf {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) {
    // streambuf wants a mutable get area, but only reading happens there:
    // the menu takes characters and never puts any back.
    auto* begin = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
    setg(begin, begin, begin + size);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The menu's text is not under test, and a terminal or a log would make
  // every run pay for it. /dev/null also never fails, so the loop never
  // stops early on a write error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::perror("menu_fuzz: /dev/null");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // A fixed seed makes each input replay exactly, whatever ran before it.
  std::srand(1);
  ByteSource source(data, size);
  run_menu(source);
  return 0;
}
