// SPDX-License-Identifier: MIT
// Replays every file of the given directories through the fuzz target, as
// libFuzzer does first, so that every test build checks the corpus. A wrong
// answer aborts, an unreadable directory throws; stderr names each file.
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
