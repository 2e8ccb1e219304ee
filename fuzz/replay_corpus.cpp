// SPDX-License-Identifier: MIT
// Runs the fuzz target once on every file in the directories it is given, as
// libFuzzer does before it starts to mutate, so that every build checks the
// menu's answers to the committed corpus. The target aborts at the first
// answer that is wrong; the last file named on stderr is the input.
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
  // The target takes over stdout, so this reports on stderr.
  LLVMFuzzerInitialize(&argc, &argv);
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::fprintf(stderr, "%s\n", entry.path().c_str());
      std::ifstream file(entry.path(), std::ios::binary);
      const std::vector<std::uint8_t> data(std::istreambuf_iterator<char>(file),
                                           {});
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++inputs;
    }
  }
  std::fprintf(stderr, "%d inputs, every answer as expected\n", inputs);
  return inputs > 0 ? 0 : 1;
}
