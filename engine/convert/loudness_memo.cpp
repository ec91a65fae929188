// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/loudness_memo.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "engine/convert/song_identity.h"
#include "media/codecs.h"
#include "media/tags/loudness_tags.h"
#include "platform/new_file.h"
#include "platform/read_only_file.h"
#include "platform/unique_fd.h"

namespace sorvina::engine {
namespace {

// The ending of the memo's temporary while it is written.
constexpr char kTemporaryEnding[] = ".tmp";

// What a song can measure: EBU R128 gates away everything below -70 LUFS, and no master
// reaches +5 LUFS or peaks 20 dB over full scale. Anything else is damage.
constexpr double kLowestLufs = -70.0;
constexpr double kHighestLufs = 5.0;
constexpr double kLowestPeakDb = -70.0;
constexpr double kHighestPeakDb = 20.0;
// A memo of a very large library takes some megabytes; one beyond this is not read past
// it, and a line longer than any path with its figures is passed over unread.
constexpr std::uint64_t kMemoMostBytes = std::uint64_t{64} << 20;
constexpr std::size_t kMemoLongestLine = std::size_t{64} << 10;

// Whether `loudness` is a figure a song can have; an unknown peak (NaN) is one.
bool Plausible(const media::Loudness& loudness) {
  const double peak = loudness.truePeakDb;
  return loudness.integratedLufs >= kLowestLufs && loudness.integratedLufs <= kHighestLufs &&
         (std::isnan(peak) || (peak >= kLowestPeakDb && peak <= kHighestPeakDb));
}

// A number written as the memo writes them ("-14.25", "nan"), filling all of `text`.
std::optional<double> FigureOf(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<media::Loudness> PlausibleOrNothing(std::optional<media::Loudness> loudness) {
  if (loudness && !Plausible(*loudness)) return std::nullopt;
  return loudness;
}

}  // namespace

LoudnessMemo::LoudnessMemo(std::string file) : file_(std::move(file)) {
  // Lines: path TAB size/time TAB LUFS TAB dBTP, each ended by a line feed; anything else
  // is passed over.
  const auto take = [this](std::string_view line) {
    std::array<std::string_view, 4> fields;
    for (std::size_t i = 0, from = 0; i < fields.size(); ++i) {
      const std::size_t tab = line.find('\t', from);
      if ((tab == std::string_view::npos) != (i + 1 == fields.size())) return;  // too few or many
      fields[i] = line.substr(from, tab - from);
      from = tab + 1;
    }
    if (fields[0].empty() || fields[1].empty()) return;
    const std::optional<double> lufs = FigureOf(fields[2]);
    const std::optional<double> peak = FigureOf(fields[3]);
    if (!lufs || !peak || !Plausible({*lufs, *peak})) return;
    known_[std::string(fields[0])] = {{*lufs, *peak}, std::string(fields[1])};
  };
  const std::optional<platform::ReadOnlyFile> in = platform::ReadOnlyFile::Open(file_);
  if (!in) return;
  const std::uint64_t bytes = std::min(in->size(), kMemoMostBytes);
  std::vector<unsigned char> buffer(std::size_t{64} << 10);
  std::string line;
  bool tooLong = false;
  for (std::uint64_t offset = 0; offset < bytes;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes - offset));
    const std::size_t got = in->ReadAt(offset, std::span(buffer.data(), want));
    if (got == 0) break;
    offset += got;
    std::string_view chunk(reinterpret_cast<const char*>(buffer.data()), got);
    while (!chunk.empty()) {
      const std::size_t end = chunk.find('\n');
      const std::string_view piece = chunk.substr(0, end);
      tooLong = tooLong || line.size() + piece.size() > kMemoLongestLine;
      if (!tooLong) line += piece;
      if (end == std::string_view::npos) break;
      if (!tooLong) take(line);
      line.clear();
      tooLong = false;
      chunk.remove_prefix(end + 1);
    }
  }
  // A last line without its line feed may be cut short: passed over.
}

std::optional<media::Loudness> LoudnessMemo::Of(const std::string& path,
                                                const std::atomic<bool>* cancel) {
  const std::optional<std::string> identity = SongIdentity(path);
  if (!identity) return std::nullopt;
  // The identity without the path, which the line holds apart; tabs and line feeds in a
  // path would break a line, so such songs are measured every time.
  std::string stamp = identity->substr(path.size() + 1);
  std::replace(stamp.begin(), stamp.end(), '\0', '/');
  const bool storable = path.find_first_of("\t\n") == std::string::npos;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto known = known_.find(path);
    if (known != known_.end() && known->second.second == stamp) return known->second.first;
  }
  // Tags are anyone's to write, and a measurement of a damaged file may be anything: a
  // figure no song can have is no figure.
  std::optional<media::Loudness> loudness = PlausibleOrNothing(media::LoudnessFromTags(path));
  if (!loudness) loudness = PlausibleOrNothing(media::MeasureLoudness(path, nullptr, cancel));
  if (loudness && storable) {
    const std::lock_guard<std::mutex> lock(mutex_);
    known_[path] = {*loudness, stamp};
    changed_ = true;
  }
  return loudness;
}

void LoudnessMemo::Save() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!changed_) return;
  std::string text;
  for (const auto& [path, entry] : known_) {
    // Written as the reader reads them, whatever the locale: "-14.25", "nan".
    char figures[64];
    char* end = figures + sizeof figures;
    char* at =
        std::to_chars(figures, end, entry.first.integratedLufs, std::chars_format::fixed, 2).ptr;
    *at++ = '\t';
    at = std::to_chars(at, end, entry.first.truePeakDb, std::chars_format::fixed, 2).ptr;
    text += path + '\t' + entry.second + '\t' + std::string(figures, at) + '\n';
  }
  // A temporary of a new name, made exclusively: never a file that a link leads to.
  std::string temporary;
  platform::UniqueFd out(platform::CreateHiddenSibling(file_, kTemporaryEnding, 0666, temporary));
  if (!out) return;
  int error = 0;
  {
    const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = platform::WriteAll(out.get(), text);
  }
  if (error != 0 || fsync(out.get()) != 0 || close(out.Release()) != 0 ||
      rename(temporary.c_str(), file_.c_str()) != 0)
    (void)unlink(temporary.c_str());
}

}  // namespace sorvina::engine
