// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/recording_groups.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace sorvina::engine {
namespace {

constexpr int kSameLengthSeconds = 2;

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || byte >= 0x80;
}

// Whether what a bracket holds is an addition that names no other recording.
bool IsAddition(std::string_view inside) {
  return inside.starts_with("feat") || inside.starts_with("ft.") || inside.starts_with("ft ") ||
         inside.starts_with("with ") || inside.find("remaster") != std::string_view::npos;
}

// `text` (lower case) without bracketed additions.
std::string WithoutBracketedAdditions(const std::string& text) {
  std::string kept;
  kept.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char open = text[at];
    if (open == '(' || open == '[') {
      const std::size_t close = text.find(open == '(' ? ')' : ']', at + 1);
      const std::string_view inside = std::string_view(text).substr(
          at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
      if (IsAddition(inside)) {
        if (close == std::string::npos) break;
        at = close;
        continue;
      }
    }
    kept.push_back(open);
  }
  return kept;
}

class Groups {
 public:
  explicit Groups(std::size_t count) : parent_(count) {
    std::iota(parent_.begin(), parent_.end(), std::size_t{0});
  }
  std::size_t Find(std::size_t at) {
    while (parent_[at] != at) {
      parent_[at] = parent_[parent_[at]];
      at = parent_[at];
    }
    return at;
  }
  void Join(std::size_t a, std::size_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::size_t> parent_;
};

// Whether ids two files both carry tell them apart.
bool IdsDiffer(const RecordingFacts& a, const RecordingFacts& b) {
  return (!a.recordingId.empty() && !b.recordingId.empty() && a.recordingId != b.recordingId) ||
         (!a.isrc.empty() && !b.isrc.empty() && a.isrc != b.isrc);
}

// Whether `a` stands for a recording better than `b`, found after it.
bool Better(const RecordingFacts& a, const RecordingFacts& b) {
  if (a.playable != b.playable) return a.playable;
  if (a.lossless != b.lossless) return a.lossless;
  return a.bitrate > b.bitrate;
}

}  // namespace

std::string RecordingName(std::string_view name) {
  std::string text = WithoutBracketedAdditions(Lowered(name));
  for (const std::string_view cut :
       {" feat. ", " feat ", " ft. ", " featuring ", " - remaster", " - remastered"}) {
    if (const std::size_t at = text.find(cut); at != std::string::npos) text.resize(at);
  }
  // "- 2011 Remaster" and the like: a dash part that speaks of remastering.
  if (const std::size_t dash = text.rfind(" - ");
      dash != std::string::npos && text.find("remaster", dash) != std::string::npos)
    text.resize(dash);
  std::string kept;
  for (const char c : text) {
    if (IsWordByte(c)) kept.push_back(c);
  }
  return kept;
}

std::vector<std::size_t> ChooseOnePerRecording(const std::vector<RecordingFacts>& files) {
  const std::size_t count = files.size();
  Groups groups(count);
  // By the MusicBrainz id, then by the ISRC where no id tells the files apart.
  std::unordered_map<std::string_view, std::size_t> firstById;
  std::unordered_map<std::string_view, std::size_t> firstByIsrc;
  for (std::size_t i = 0; i < count; ++i) {
    if (!files[i].recordingId.empty()) {
      const auto [found, added] = firstById.try_emplace(files[i].recordingId, i);
      if (!added) groups.Join(found->second, i);
    }
    if (!files[i].isrc.empty()) {
      const auto [found, added] = firstByIsrc.try_emplace(files[i].isrc, i);
      if (!added && !IdsDiffer(files[found->second], files[i])) groups.Join(found->second, i);
    }
  }
  // By artist and title, neighbours by length joined where no id tells them apart.
  std::unordered_map<std::string, std::vector<std::size_t>> byName;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string title = RecordingName(files[i].title);
    if (title.empty()) continue;
    byName[RecordingName(files[i].artist) + '\n' + title].push_back(i);
  }
  for (auto& [name, members] : byName) {
    if (members.size() < 2) continue;
    std::stable_sort(members.begin(), members.end(), [&files](std::size_t a, std::size_t b) {
      return files[a].seconds < files[b].seconds;
    });
    for (std::size_t k = 1; k < members.size(); ++k) {
      const RecordingFacts& before = files[members[k - 1]];
      const RecordingFacts& now = files[members[k]];
      if (now.seconds - before.seconds <= kSameLengthSeconds && !IdsDiffer(before, now))
        groups.Join(members[k - 1], members[k]);
    }
  }
  // The best of each group; files are looked at in order, so the first wins ties.
  std::vector<std::size_t> best(count);
  std::iota(best.begin(), best.end(), std::size_t{0});
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t root = groups.Find(i);
    if (root != i && Better(files[i], files[best[root]])) best[root] = i;
  }
  std::vector<std::size_t> chosen(count);
  for (std::size_t i = 0; i < count; ++i)
    chosen[i] = best[groups.Find(i)];
  return chosen;
}

}  // namespace sorvina::engine
