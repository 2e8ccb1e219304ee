// SPDX-License-Identifier: MIT
// Replays every file in the given directories through the fuzz target, as
// libFuzzer does before it mutates, so that every build checks the committed
// corpus. The target aborts at a wrong answer, and a directory that cannot be
// read (git keeps no empty one) throws; the last file named on stderr (stdout
// is the target's) is the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

int main(int argc, char* argv[]) {
  LLVMFuzzerInitialize(&argc, &argv);
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::fprintf(stderr, "%s\n", entry.path().c_str());
      std::ifstream file(entry.path(), std::ios::binary);
      const std::vector<std::uint8_t> data(std::istreambuf_iterator<char>(file),
                                           {});
      LLVMFuzzerTestOneInput(data.data(), data.size());
    }
  }
}
