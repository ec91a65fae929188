// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for libFuzzer where the targets are built without it: runs the target once
// on every file named, and on every file of every folder named (in name order), so that
// CTest replays the stored corpus and the crash files. A missing folder counts as empty,
// as a target may have no crash files yet; no input at all fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunOne(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that AddressSanitizer sees a read past its end.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  std::uint8_t* data = input.empty() ? nullptr : input.data();
  LLVMFuzzerTestOneInput(data, input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t runs = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        ok = RunOne(file) && ok;
        ++runs;
      }
    } else if (std::filesystem::exists(arg, error)) {
      ok = RunOne(arg) && ok;
      ++runs;
    }
  }
  std::printf("replayed %zu inputs\n", runs);
  // No input at all means the corpus was not found: that is no pass.
  return ok && runs > 0 ? 0 : 1;
}
