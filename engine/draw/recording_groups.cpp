// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/recording_groups.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace sorvina::engine {
namespace {

constexpr int kSameLengthSeconds = 2;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || byte >= 0x80;
}

// Whether `text` (lower case) holds `word` (lower case), letter case aside.
bool HoldsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < word.size() && Lower(text[at + i]) == word[i])
      ++i;
    if (i == word.size()) return true;
  }
  return false;
}

bool StartsNoCase(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && HoldsNoCase(text.substr(0, word.size()), word);
}

// Whether what a bracket holds is an addition that names no other recording.
bool IsAddition(std::string_view inside) {
  return StartsNoCase(inside, "feat") || StartsNoCase(inside, "ft.") ||
         StartsNoCase(inside, "ft ") || StartsNoCase(inside, "with ") ||
         HoldsNoCase(inside, "remaster");
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
  // In lower case, without bracketed additions.
  std::string text;
  text.reserve(name.size());
  for (std::size_t at = 0; at < name.size(); ++at) {
    const char c = name[at];
    if (c == '(' || c == '[') {
      const std::size_t close = name.find(c == '(' ? ')' : ']', at + 1);
      if (IsAddition(name.substr(
              at + 1, close == std::string_view::npos ? std::string_view::npos : close - at - 1))) {
        if (close == std::string_view::npos) break;
        at = close;
        continue;
      }
    }
    text.push_back(Lower(c));
  }
  for (const std::string_view cut : {" feat. ", " feat ", " ft. ", " featuring ", " - remaster"}) {
    if (const std::size_t at = text.find(cut); at != std::string::npos) text.resize(at);
  }
  // "- 2011 Remaster" and the like: a dash part that speaks of remastering.
  if (const std::size_t dash = text.rfind(" - ");
      dash != std::string::npos && text.find("remaster", dash) != std::string::npos)
    text.resize(dash);
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return !IsWordByte(c); }),
             text.end());
  return text;
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
  // By artist and title, neighbours by length joined where no id tells them apart: the
  // files sorted by name, then length, so that each name's files follow one another.
  std::vector<std::string> names(count);
  std::vector<std::size_t> named;
  for (std::size_t i = 0; i < count; ++i) {
    std::string title = RecordingName(files[i].title);
    if (title.empty()) continue;
    names[i] = RecordingName(files[i].artist);
    names[i] += '\n';
    names[i] += title;
    named.push_back(i);
  }
  std::sort(named.begin(), named.end(), [&](std::size_t a, std::size_t b) {
    if (const int order = names[a].compare(names[b]); order != 0) return order < 0;
    return files[a].seconds != files[b].seconds ? files[a].seconds < files[b].seconds : a < b;
  });
  for (std::size_t k = 1; k < named.size(); ++k) {
    const std::size_t before = named[k - 1];
    const std::size_t now = named[k];
    if (names[before] == names[now] &&
        files[now].seconds - files[before].seconds <= kSameLengthSeconds &&
        !IdsDiffer(files[before], files[now]))
      groups.Join(before, now);
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
