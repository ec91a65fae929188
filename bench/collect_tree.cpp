// SPDX-License-Identifier: GPL-3.0-or-later
// Collects the MP3 files under the given folders as a selection run would and prints one
// line per candidate, in collection order: by default the path, as a run by playing time
// collects (sizes left unread), the same lines as
//   find ROOT -iname '*.mp3'
// and with --sizes "SIZE PATH", as a run by size collects, the same lines as
//   find ROOT -iname '*.mp3' -printf '%s %p\n'
// so that compare_collection.sh can time them doing the same work. --threads N reads
// folders ahead on N threads (0: one folder at a time, on the scan's own thread).

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/scan/collection.h"
#include "engine/settings/selection_settings.h"

namespace {

using sorvina::engine::CandidatePool;

// Output is gathered in memory and written in large blocks, so that the write system
// calls stay a small part of the time measured.
class BlockWriter {
 public:
  ~BlockWriter() { Flush(); }

  void Append(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kBlockSize) Flush();
  }
  void Append(std::int64_t number) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    buffer_.append(digits, result.ptr);
  }

  void Flush() {
    std::size_t written = 0;
    while (written < buffer_.size()) {
      const ssize_t n = write(STDOUT_FILENO, buffer_.data() + written, buffer_.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kBlockSize = 1 << 20;
  std::string buffer_;
};

}  // namespace

int main(int argc, char** argv) {
  sorvina::engine::CollectionOptions options;
  options.readSizes = false;
  int first = 1;
  for (; first < argc && std::string_view(argv[first]).starts_with("--"); ++first) {
    const std::string_view option = argv[first];
    if (option == "--sizes") {
      options.readSizes = true;
    } else if (option == "--threads" && first + 1 < argc) {
      options.readAheadThreads = std::strtoul(argv[++first], nullptr, 10);
    } else {
      first = argc;
    }
  }
  if (first >= argc) {
    std::fprintf(stderr,
                 "usage: %s [--sizes] [--threads N] ROOT...\n"
                 "prints \"PATH\" (\"SIZE PATH\" with --sizes) for every MP3 file collected\n",
                 argv[0]);
    return 1;
  }
  sorvina::engine::SelectionSettings settings;
  settings.sources.assign(argv + first, argv + argc);

  CandidatePool pool;
  sorvina::engine::CollectCandidates(settings, pool, options);

  // The pool is linked newest first; the oldest is where collection began.
  std::vector<CandidatePool::Index> order;
  order.reserve(pool.count());
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    order.push_back(i);

  BlockWriter out;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const auto& candidate = pool[*it];
    if (options.readSizes) {
      out.Append(candidate.sizeBytes);
      out.Append(" ");
    }
    out.Append(candidate.path);
    out.Append("\n");
  }
  return 0;
}
