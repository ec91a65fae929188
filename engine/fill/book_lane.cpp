// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/book_lane.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "media/codecs.h"
#include "media/file_types.h"
#include "media/tags/draw_tags.h"
#include "transfer/fat_names.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// -1, 0 or 1 as natural order puts `a` before, with or after `b`, letter case ignored.
int CompareNatural(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Leading zeros tell nothing of the value; then the longer run is the larger.
      std::size_t ai = i;
      std::size_t bj = j;
      while (ai < a.size() && a[ai] == '0')
        ++ai;
      while (bj < b.size() && b[bj] == '0')
        ++bj;
      std::size_t ae = ai;
      std::size_t be = bj;
      while (ae < a.size() && IsDigit(a[ae]))
        ++ae;
      while (be < b.size() && IsDigit(b[be]))
        ++be;
      if (ae - ai != be - bj) return ae - ai < be - bj ? -1 : 1;
      if (const int c = a.substr(ai, ae - ai).compare(b.substr(bj, be - bj)); c != 0)
        return c < 0 ? -1 : 1;
      i = ae;
      j = be;
      continue;
    }
    if (Lower(a[i]) != Lower(b[j])) return Lower(a[i]) < Lower(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return 0;
}

bool IsAudio(const fs::path& path) {
  return media::TypeOfName(path.filename().string()).type != nullptr;
}

// A name for one folder on the player: no separators or control characters, not too long,
// FAT's rules where the player keeps them.
std::string FolderName(std::string name, bool fat) {
  for (char& c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  name = media::CutToBytes(std::move(name), 120);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
    name.pop_back();
  while (!name.empty() && name.front() == '.')
    name.erase(0, 1);
  if (name.empty()) name = "Book";
  return fat ? transfer::FatSafeName(name) : name;
}

// "Author - Title" from the first chapter's tags, the title else the book's own name.
std::string ShelfOf(const Book& book) {
  std::string author;
  std::string title;
  if (!book.chapters.empty()) {
    if (const std::optional<media::DrawTags> tags = media::ReadDrawTags(book.chapters[0].path)) {
      author = !tags->albumArtist.empty() ? tags->albumArtist : tags->artist;
      title = tags->album;
    }
  }
  if (title.empty()) {
    const fs::path path(book.path);
    title = fs::is_directory(path) ? path.filename().string() : path.stem().string();
  }
  return author.empty() ? title : author + " - " + title;
}

// "001", or as many digits as the book's chapters need.
std::string Number(std::size_t number, std::size_t count) {
  int digits = 3;
  for (std::size_t n = count; n >= 1000; n /= 10)
    ++digits;
  char text[32];
  std::snprintf(text, sizeof text, "%0*zu", digits, number);
  return text;
}

// A stable name for the split of `file` as it is now: its path, size and time, hashed.
std::string SplitFolderName(const std::string& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  const auto time = fs::last_write_time(file, error).time_since_epoch().count();
  std::uint64_t hash = 14695981039346656037ull;
  const std::string key = file + '\0' + std::to_string(size) + '\0' + std::to_string(time);
  for (const unsigned char c : key)
    hash = (hash ^ c) * 1099511628211ull;
  char name[24];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return name;
}

// Written once every chapter of a split is: the chapters' titles, one a line.
constexpr char kSplitDoneName[] = "chapters.txt";
constexpr std::size_t kMostTitleBytes = 100;

// Reads the titles of a finished split; nothing where it is not finished.
std::optional<std::vector<std::string>> FinishedSplit(const fs::path& folder) {
  std::FILE* list = std::fopen((folder / kSplitDoneName).c_str(), "rb");
  if (list == nullptr) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (std::size_t n; text.size() < (std::size_t{1} << 20) &&
                      (n = std::fread(buffer, 1, sizeof buffer, list)) > 0;)
    text.append(buffer, n);
  std::fclose(list);
  std::vector<std::string> titles;
  for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
       begin = end + 1)
    titles.push_back(text.substr(begin, end - begin));
  if (titles.size() < 2 || titles.size() > media::kMostChapters) return std::nullopt;
  return titles;
}

// Splits `file` into `folder`; the titles, or nothing (after a warning where the marks
// could not be used) where it is no book of chapters.
std::optional<std::vector<std::string>> Split(const std::string& file, const fs::path& folder,
                                              RunPorts& ports) {
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  const media::ChapterSplitResult split = media::SplitAtChapters(file, folder.string(), nullptr);
  if (!split.ok || split.chapters.size() < 2) {
    fs::remove_all(folder, error);
    if (!split.ok)
      ports.ShowWarning(
          {SORVINA_TEXT("sorvina", "The chapters of %1 were not split: %2"), {file, split.reason}});
    return std::nullopt;
  }
  std::vector<std::string> titles;
  std::string text;
  for (const media::ChapterMark& chapter : split.chapters) {
    std::string title = media::CutToBytes(chapter.title, kMostTitleBytes);
    for (char& c : title)
      if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    text += title + '\n';
    titles.push_back(std::move(title));
  }
  std::FILE* list = std::fopen((folder / kSplitDoneName).c_str(), "wb");
  const bool written =
      list != nullptr && std::fwrite(text.data(), 1, text.size(), list) == text.size();
  if (list == nullptr || std::fclose(list) != 0 || !written) fs::remove_all(folder, error);
  return titles;
}

}  // namespace

void SplitLongBooks(std::vector<Book>& books, const std::string& cacheFolder, RunPorts& ports) {
  for (Book& book : books) {
    if (book.chapters.size() != 1 || !fs::is_regular_file(book.path)) continue;
    const std::string file = book.chapters[0].path;
    if (media::ChapterFileName(file, 1).empty()) continue;
    const fs::path folder = fs::path(cacheFolder) / SplitFolderName(file);
    std::optional<std::vector<std::string>> titles = FinishedSplit(folder);
    if (!titles) titles = Split(file, folder, ports);
    if (!titles) continue;
    std::vector<Candidate> chapters;
    std::vector<std::string> names;
    std::error_code error;
    for (std::size_t i = 0; i < titles->size(); ++i) {
      const fs::path path = folder / media::ChapterFileName(file, i + 1);
      const auto bytes = fs::file_size(path, error);
      if (error) break;
      chapters.push_back({path.string(), static_cast<std::int64_t>(bytes), 1.0, 0});
      const std::string& title = (*titles)[i];
      names.push_back(title.empty() ? path.filename().string() : title + path.extension().string());
    }
    if (chapters.size() != titles->size()) {
      fs::remove_all(folder, error);  // taken from the cache meanwhile: split again next time
      continue;
    }
    book.chapters = std::move(chapters);
    book.names = std::move(names);
  }
}

bool NaturalLess(std::string_view a, std::string_view b) {
  const int c = CompareNatural(a, b);
  return c != 0 ? c < 0 : a < b;
}

bool IsBelowAny(std::string_view path, const std::vector<std::string>& folders) {
  for (std::string_view folder : folders) {
    while (folder.size() > 1 && folder.back() == '/')
      folder.remove_suffix(1);
    if (folder.empty()) continue;
    if (path == folder) return true;
    if (path.size() > folder.size() && path.starts_with(folder) &&
        (folder.back() == '/' || path[folder.size()] == '/'))
      return true;
  }
  return false;
}

std::string FormatBookLaneState(const BookLaneState& state) {
  std::string text;
  for (const std::string& done : state.done)
    text += "done\t" + done + "\r\n";
  for (const auto& [relative, path] : state.placed)
    text += "placed\t" + relative + '\t' + path + "\r\n";
  return text;
}

BookLaneState ParseBookLaneState(std::string_view bytes, std::size_t maxLines) {
  BookLaneState state;
  for (std::size_t lines = 0; !bytes.empty() && lines < maxLines; ++lines) {
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    const std::string_view kind = line.substr(0, tab);
    const std::string_view rest = line.substr(tab + 1);
    if (kind == "done" && !rest.empty() && rest.find('\0') == std::string_view::npos) {
      state.done.emplace(rest);
    } else if (kind == "placed") {
      const std::size_t second = rest.find('\t');
      if (second == 0 || second == std::string_view::npos || second + 1 == rest.size()) continue;
      state.placed.emplace_back(rest.substr(0, second), rest.substr(second + 1));
    }
  }
  return state;
}

std::vector<Book> FindBooks(const std::vector<std::string>& folders, std::size_t maxBooks,
                            std::size_t maxChapters) {
  std::vector<Book> books;
  for (const std::string& folder : folders) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().filename().string().starts_with('.')) continue;
      entries.push_back(it->path());
      if (entries.size() >= maxBooks) break;
    }
    std::sort(entries.begin(), entries.end(), [](const fs::path& a, const fs::path& b) {
      return NaturalLess(a.filename().string(), b.filename().string());
    });
    for (const fs::path& entry : entries) {
      if (books.size() >= maxBooks) return books;
      Book book;
      book.path = entry.string();
      std::error_code status;
      if (fs::is_directory(entry, status)) {
        std::vector<std::pair<std::string, fs::path>> chapters;
        fs::recursive_directory_iterator it(entry, fs::directory_options::skip_permission_denied,
                                            status);
        for (fs::recursive_directory_iterator end; !status && it != end; it.increment(status)) {
          if (it->path().filename().string().starts_with('.')) {
            if (it->is_directory(status)) it.disable_recursion_pending();
            continue;
          }
          if (!it->is_regular_file(status) || !IsAudio(it->path())) continue;
          chapters.emplace_back(it->path().lexically_relative(entry).string(), it->path());
          if (chapters.size() >= maxChapters) break;
        }
        std::sort(chapters.begin(), chapters.end(),
                  [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
        for (const auto& [relative, path] : chapters) {
          std::error_code size;
          const auto bytes = fs::file_size(path, size);
          book.chapters.push_back({path.string(), size ? 0 : static_cast<std::int64_t>(bytes)});
        }
      } else if (fs::is_regular_file(entry, status) && IsAudio(entry)) {
        std::error_code size;
        const auto bytes = fs::file_size(entry, size);
        book.chapters.push_back({entry.string(), size ? 0 : static_cast<std::int64_t>(bytes)});
      }
      if (book.chapters.empty()) continue;
      book.shelf = ShelfOf(book);
      books.push_back(std::move(book));
    }
  }
  return books;
}

std::vector<LaneChapter> PlanBookLane(const std::vector<Book>& books, const BookLaneState& previous,
                                      const LaneView& view, std::int64_t aheadSeconds,
                                      const std::function<std::int64_t(const Candidate&)>& seconds,
                                      BookLaneState& next) {
  std::set<std::string> done = previous.done;
  std::map<std::string, std::string> onPlayer;  // chapter path: where it is
  for (const auto& [relative, path] : previous.placed) {
    bool gone = !view.present || !view.present(relative);
    if (!gone && view.plays != nullptr) {
      const std::optional<SongPlays> plays = view.plays->PlaysOf(path);
      gone = plays && plays->HeardSince(view.since);
    }
    if (gone) {
      done.insert(path);
    } else {
      onPlayer.emplace(path, relative);
    }
  }
  next = {};
  std::vector<LaneChapter> lane;
  std::int64_t total = 0;
  // Shelves already taken by an earlier book get the book's number.
  std::set<std::string> shelves;
  for (const Book& book : books) {
    std::string shelf = FolderName(book.shelf, view.fat);
    if (!shelves.insert(shelf).second)
      shelf =
          FolderName(book.shelf + " (" + std::to_string(&book - books.data() + 1) + ")", view.fat);
    for (std::size_t i = 0; i < book.chapters.size(); ++i) {
      const Candidate& chapter = book.chapters[i];
      // Only chapters that are still in the books are remembered as done.
      if (done.contains(chapter.path)) {
        next.done.insert(chapter.path);
        continue;
      }
      const auto there = onPlayer.find(chapter.path);
      if (total >= aheadSeconds && there == onPlayer.end()) continue;
      const std::string name =
          i < book.names.size() ? book.names[i] : fs::path(chapter.path).filename().string();
      std::string file = Number(i + 1, book.chapters.size()) + ' ' + name;
      if (view.fat) file = transfer::FatSafeName(file);
      LaneChapter planned{chapter, std::string(kBooksFolderName) + '/' + shelf + '/' + file,
                          seconds(chapter),
                          there != onPlayer.end() ? there->second : std::string()};
      total += std::max<std::int64_t>(planned.seconds, 1);
      next.placed.emplace_back(planned.target, chapter.path);
      lane.push_back(std::move(planned));
    }
  }
  return lane;
}

}  // namespace sorvina::engine
