// Collects the MP3 files under the given folders as a selection run would and prints
// "SIZE PATH" per candidate, in collection order: the same lines
//   find ROOT -iname '*.mp3' -printf '%s %p\n'
// prints, so that compare_collection.sh can time both doing the same work.

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/candidate_pool.h"
#include "engine/collection.h"
#include "engine/selection_settings.h"

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
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ROOT...\nprints \"SIZE PATH\" for every MP3 file collected\n",
                 argv[0]);
    return 1;
  }
  sorvina::engine::SelectionSettings settings;
  settings.sources.assign(argv + 1, argv + argc);

  CandidatePool pool;
  sorvina::engine::CollectCandidates(settings, pool);

  // The pool is linked newest first; the oldest is where collection began.
  std::vector<CandidatePool::Index> order;
  order.reserve(pool.count());
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    order.push_back(i);

  BlockWriter out;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const auto& candidate = pool[*it];
    out.Append(candidate.sizeBytes);
    out.Append(" ");
    out.Append(candidate.path);
    out.Append("\n");
  }
  return 0;
}
