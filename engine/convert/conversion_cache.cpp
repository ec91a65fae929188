// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/conversion_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "engine/convert/song_identity.h"
#include "media/mp3_gain.h"
#include "platform/file_system.h"
#include "platform/new_file.h"
#include "platform/read_only_file.h"
#include "platform/user_folders.h"
#include "text/user_text.h"

namespace sorvina::engine {
namespace {

constexpr char kTemporaryEnding[] = ".tmp";
constexpr char kCheckEnding[] = ".check";
constexpr std::time_t kAbandonedAfterSeconds = 60 * 60;
// The hexadecimal digits that name an entry, and those of a temporary's random part.
constexpr std::size_t kEntryDigits = 32;
constexpr std::size_t kRandomDigits = 16;
// A check file holds a size and a digest: anything longer is not one.
constexpr std::size_t kCheckMostBytes = 128;

// FNV-1a over `text`, from `basis`: two of them with different bases name an entry.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t basis) {
  std::uint64_t hash = basis;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

bool IsLowerHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The names this cache gives its files, and nothing else: an entry is 32 hexadecimal
// digits and a target's ending; its check file ".<entry>.check"; a temporary of either
// ".<name>.<16 hexadecimal digits>.tmp".
bool IsEntryName(std::string_view name) {
  if (name.size() <= kEntryDigits || !IsLowerHex(name.substr(0, kEntryDigits))) return false;
  const std::string_view ending = name.substr(kEntryDigits);
  return ending == ".mp3" || ending == ".m4a" || ending == ".opus";
}

std::string CheckNameOf(std::string_view entry) {
  return '.' + std::string(entry) + kCheckEnding;
}

// The entry that the check file `name` belongs to; empty for any other name.
std::string_view EntryOfCheck(std::string_view name) {
  if (!name.starts_with('.') || !name.ends_with(kCheckEnding)) return {};
  const std::string_view entry = name.substr(1, name.size() - 1 - (sizeof kCheckEnding - 1));
  return IsEntryName(entry) ? entry : std::string_view();
}

std::string TemporaryNameFor(std::string_view name) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  return '.' + std::string(name) + '.' + Hex(random()) + kTemporaryEnding;
}

bool IsTemporaryName(std::string_view name) {
  constexpr std::size_t kTail = 1 + kRandomDigits + sizeof kTemporaryEnding - 1;
  if (!name.starts_with('.') || !name.ends_with(kTemporaryEnding) || name.size() < 1 + kTail)
    return false;
  const std::string_view random = name.substr(name.size() - kTail + 1, kRandomDigits);
  const std::string_view of = name.substr(1, name.size() - 1 - kTail);
  if (name[name.size() - kTail] != '.' || !IsLowerHex(random)) return false;
  if (IsEntryName(of)) return true;
  return of.ends_with(kCheckEnding) &&
         IsEntryName(of.substr(0, of.size() - (sizeof kCheckEnding - 1)));
}

// What a check file holds: the entry's size and its fingerprint's digest.
std::string CheckText(const platform::ContentFingerprint& fingerprint) {
  return std::to_string(fingerprint.sizeBytes) + '\t' + platform::DigestText(fingerprint.digest) +
         '\n';
}

std::optional<platform::ContentFingerprint> FingerprintFromCheckText(std::string_view text) {
  const std::size_t tab = text.find('\t');
  if (tab == std::string_view::npos || !text.ends_with('\n')) return std::nullopt;
  platform::ContentFingerprint fingerprint;
  const char* end = text.data() + tab;
  const auto [stop, error] = std::from_chars(text.data(), end, fingerprint.sizeBytes);
  if (error != std::errc() || stop != end || fingerprint.sizeBytes < 0) return std::nullopt;
  const std::optional<std::array<std::uint8_t, 32>> digest =
      platform::DigestFromText(text.substr(tab + 1, text.size() - tab - 2));
  if (!digest) return std::nullopt;
  fingerprint.digest = *digest;
  return fingerprint;
}

// Reads what a small file open as `fd` holds; nothing where it holds more than `most`.
std::optional<std::string> SmallFileText(int fd, std::size_t most) {
  std::string text(most + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t read = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return std::nullopt;
    if (read == 0) break;
    got += static_cast<std::size_t>(read);
  }
  if (got > most) return std::nullopt;
  text.resize(got);
  return text;
}

bool IsOlderThan(const struct stat& status, std::time_t seconds) {
  return std::time(nullptr) - status.st_mtim.tv_sec > seconds;
}

}  // namespace

ConversionCache::ConversionCache(std::string folder, std::int64_t capBytes, bool openNow)
    : folder_(std::move(folder)), capBytes_(capBytes) {
  if (folder_.empty()) return;
  key_ = platform::UserFingerprintKey();
  if (openNow) (void)Fd();
}

ConversionCache::~ConversionCache() {
  for (const std::string& name : lent_)
    (void)unlinkat(folderFd_.get(), name.c_str(), 0);
}

int ConversionCache::Fd() const {
  std::call_once(opening_, [this] {
    if (folder_.empty()) return;
    (void)platform::MakeFolders(folder_);  // a folder that cannot be made fails each convert
    // Opened once, links followed: a cache folder that leads elsewhere is used there, and
    // a link swapped in later changes nothing.
    folderFd_.Reset(platform::OpenPath(folder_, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    opened_ = true;
  });
  return folderFd_.get();
}

text::Result<std::string> ConversionCache::DefaultFolder() {
  const std::string cache = platform::CacheFolder();
  if (cache.empty()) {
    // Any other folder picked here (the current one, the root) would put songs where the
    // user never asked for them.
    return text::Failure{SORVINA_TEXT("sorvina",
                                      "Can't convert songs: there is no folder to keep them in, "
                                      "as XDG_CACHE_HOME is not set to an absolute path and no "
                                      "home folder is known")};
  }
  return cache + "/converted";
}

std::optional<std::string> ConversionCache::EntryName(const std::string& source,
                                                      const media::ConversionParams& params) const {
  return NameOf(source, params.Key(), media::TargetExtension(params.codec));
}

std::optional<std::string> ConversionCache::NameOf(const std::string& source,
                                                   const std::string& recipe,
                                                   std::string_view extension) const {
  const std::optional<std::string> identity = SongIdentity(source);
  if (!identity) return std::nullopt;
  const std::string key = *identity + '\0' + recipe;
  return Hex(Fnv1a(key, 0xcbf29ce484222325ULL)) + Hex(Fnv1a(key, 0x84222325cbf29ce4ULL)) +
         std::string(extension);
}

std::optional<CachedSong> ConversionCache::Find(const std::string& name) const {
  // Without the key nothing can be checked, and nothing unchecked goes to a player.
  if (!key_ || Fd() < 0 || !IsEntryName(name)) return std::nullopt;
  const platform::UniqueFd fd(
      openat(Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  // A link, a folder or a FIFO under an entry's name is not ours: passed over, kept.
  if (!fd || fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  const CheckedEntry now{
      static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
      static_cast<std::int64_t>(status.st_size), status.st_ctim.tv_sec, status.st_ctim.tv_nsec};
  bool unchanged = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto checked = checked_.find(name);
    unchanged = checked != checked_.end() && checked->second == now;
  }
  if (!unchanged && !Matches(fd.get(), name, now.sizeBytes)) {
    // Damaged, or written by a version that kept no check: converted again.
    Forget(name);
    (void)unlinkat(Fd(), name.c_str(), 0);
    (void)unlinkat(Fd(), CheckNameOf(name).c_str(), 0);
    return std::nullopt;
  }
  // Its time of last change says when it was last used, for Trim.
  (void)futimens(fd.get(), nullptr);
  Remember(name, fd.get());
  return CachedSong{folder_ + '/' + name, now.sizeBytes};
}

// Whether the entry open as `fd`, of `sizeBytes`, is what its check file says.
bool ConversionCache::Matches(int fd, const std::string& name, std::int64_t sizeBytes) const {
  const platform::UniqueFd check(
      openat(Fd(), CheckNameOf(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!check || fstat(check.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const std::optional<std::string> text = SmallFileText(check.get(), kCheckMostBytes);
  const std::optional<platform::ContentFingerprint> kept =
      text ? FingerprintFromCheckText(*text) : std::nullopt;
  if (!kept || kept->sizeBytes != sizeBytes) return false;
  const std::optional<platform::ContentFingerprint> found = platform::FingerprintOf(fd, *key_);
  return found && *found == *kept;
}

void ConversionCache::Remember(const std::string& name, int fd) const {
  struct stat status {};
  if (fstat(fd, &status) != 0) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  checked_[name] = {
      static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
      static_cast<std::int64_t>(status.st_size), status.st_ctim.tv_sec, status.st_ctim.tv_nsec};
}

void ConversionCache::Forget(const std::string& name) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  checked_.erase(name);
}

// Whether the song's entry is settled before anything is made: found in the cache (as
// `song`), or without a name because the source cannot be read (a `song` without one).
bool ConversionCache::FoundOrUnnamed(const std::optional<std::string>& name,
                                     ConvertedSong& song) const {
  if (!name) {
    song.reason = "the song cannot be read";
    return true;
  }
  song.song = Find(*name);
  song.fromCache = song.song.has_value();
  return song.fromCache;
}

ConvertedSong ConversionCache::Convert(const std::string& source,
                                       const media::ConversionParams& params,
                                       const std::atomic<bool>* cancel) const {
  ConvertedSong converted;
  const std::optional<std::string> name = EntryName(source, params);
  if (FoundOrUnnamed(name, converted)) return converted;
  if (Fd() < 0) {
    converted.reason = "the converted song cannot be kept in " + folder_;
    return converted;
  }
  const std::string temporaryName = TemporaryNameFor(*name);
  const media::TranscodeResult result =
      media::Transcode(source, folder_ + '/' + temporaryName, params, cancel);
  if (!result.ok) {
    converted.reason = result.reason;
    converted.earlyEnd = result.earlyEnd;
    (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return converted;
  }
  // Reopened through the folder as opened at first: the file must be the one just made.
  platform::UniqueFd temporary(
      openat(Fd(), temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!temporary) {
    converted.reason = "the converted song cannot be kept in " + folder_;
    (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return converted;
  }
  Keep(std::move(temporary), temporaryName, *name, converted);
  return converted;
}

// Puts the whole temporary in place as the entry `name`, behind its check file; without
// a key, hands the temporary itself out for this run.
bool ConversionCache::Keep(platform::UniqueFd temporary, const std::string& temporaryName,
                           const std::string& name, ConvertedSong& song) const {
  struct stat status {};
  const auto fail = [&](const std::string& checkTemporary) {
    song.reason = "the converted song cannot be kept in " + folder_;
    if (!checkTemporary.empty()) (void)unlinkat(Fd(), checkTemporary.c_str(), 0);
    (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return false;
  };
  if (fstat(temporary.get(), &status) != 0) return fail({});
  if (!key_) {
    const std::lock_guard<std::mutex> lock(mutex_);
    lent_.push_back(temporaryName);
    song.song =
        CachedSong{folder_ + '/' + temporaryName, static_cast<std::int64_t>(status.st_size)};
    return true;
  }
  // The bytes are on the disk before their fingerprint names them, and the check file
  // before the entry: an entry in place always has the check that tells it whole.
  const std::optional<platform::ContentFingerprint> fingerprint =
      fsync(temporary.get()) == 0 ? platform::FingerprintOf(temporary.get(), *key_) : std::nullopt;
  if (!fingerprint) return fail({});
  const std::string checkName = CheckNameOf(name);
  const std::string checkTemporary = TemporaryNameFor(name + kCheckEnding);
  platform::UniqueFd check(openat(Fd(), checkTemporary.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!check) return fail({});
  {
    const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    if (platform::WriteAll(check.get(), CheckText(*fingerprint)) != 0 || fsync(check.get()) != 0 ||
        close(check.Release()) != 0)
      return fail(checkTemporary);
  }
  if (renameat(Fd(), checkTemporary.c_str(), Fd(), checkName.c_str()) != 0)
    return fail(checkTemporary);
  if (renameat(Fd(), temporaryName.c_str(), Fd(), name.c_str()) != 0) {
    (void)unlinkat(Fd(), checkName.c_str(), 0);
    return fail({});
  }
  Remember(name, temporary.get());
  song.song = CachedSong{folder_ + '/' + name, fingerprint->sizeBytes};
  return true;
}

ConvertedSong ConversionCache::GainCopy(const std::string& source, int steps) const {
  ConvertedSong copy;
  const std::optional<std::string> name =
      NameOf(source, "mp3 gain " + std::to_string(steps), ".mp3");
  if (FoundOrUnnamed(name, copy)) return copy;
  // Read as every source is: whatever is put in the song's place meanwhile (a FIFO, a
  // device) is refused rather than waited on, and a read that stops short fails the copy.
  std::optional<std::string> bytes = platform::ReadWholeFile(source);
  if (!bytes) {
    copy.reason = "the song cannot be read";
    return copy;
  }
  if (!media::ApplyMp3Gain(*bytes, steps, &copy.reason)) return copy;
  const std::string temporaryName = TemporaryNameFor(*name);
  platform::UniqueFd temporary(openat(Fd(), temporaryName.c_str(),
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  int error = temporary ? 0 : errno;
  if (error == 0) {
    const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = platform::WriteAll(temporary.get(), *bytes);
  }
  if (error != 0) {
    copy.reason = "the song cannot be kept in " + folder_;
    if (temporary) (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return copy;
  }
  Keep(std::move(temporary), temporaryName, *name, copy);
  return copy;
}

ConvertedSong ConversionCache::CoverCopy(const std::string& source, int steps, int maxSide,
                                         const std::atomic<bool>* cancel) const {
  ConvertedSong copy;
  const std::optional<std::string> name = NameOf(
      source, "mp3 gain " + std::to_string(steps) + " cover " + std::to_string(maxSide), ".mp3");
  if (FoundOrUnnamed(name, copy)) return copy;
  if (Fd() < 0) {
    copy.reason = "the song cannot be kept in " + folder_;
    return copy;
  }
  const std::string temporaryName = TemporaryNameFor(*name);
  const media::CoverCopyResult result =
      media::CopyWithFittedCovers(source, folder_ + '/' + temporaryName, maxSide, steps, cancel);
  if (!result.ok) {
    copy.reason = result.reason;
    copy.coverFailed = result.coverFailed;
    (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return copy;
  }
  // Reopened through the folder as opened at first: the file must be the one just made.
  platform::UniqueFd temporary(
      openat(Fd(), temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!temporary) {
    copy.reason = "the song cannot be kept in " + folder_;
    (void)unlinkat(Fd(), temporaryName.c_str(), 0);
    return copy;
  }
  Keep(std::move(temporary), temporaryName, *name, copy);
  return copy;
}

void ConversionCache::Trim(const std::set<std::string>& inUse) const {
  // A cache not opened by this run is not made for trimming it.
  if (!opened_ || Fd() < 0) return;
  // Listed through its own descriptor of the folder as opened at first.
  std::vector<std::string> names;
  if (DIR* folder = fdopendir(openat(Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))) {
    while (const dirent* entry = readdir(folder))
      names.emplace_back(entry->d_name);
    closedir(folder);
  }
  struct Entry {
    std::tuple<std::time_t, long> used;
    std::int64_t bytes;
    std::string name;
  };
  std::vector<Entry> entries;
  std::set<std::string> present;
  std::vector<std::pair<std::string, std::string>> checks;  // (check file, its entry)
  std::int64_t total = 0;
  std::set<std::string> lent;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    lent.insert(lent_.begin(), lent_.end());
  }
  for (const std::string& name : names) {
    const bool entry = IsEntryName(name);
    const std::string_view checked = entry ? std::string_view() : EntryOfCheck(name);
    const bool temporary = !entry && checked.empty() && IsTemporaryName(name);
    if (!entry && checked.empty() && !temporary) continue;  // not ours
    struct stat status {};
    // Only files: a link, even one named as ours, is never followed nor removed.
    if (fstatat(Fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
      continue;
    if (temporary) {
      // A temporary that old belongs to no conversion under way any more.
      if (IsOlderThan(status, kAbandonedAfterSeconds) && !lent.contains(name))
        (void)unlinkat(Fd(), name.c_str(), 0);
    } else if (!checked.empty()) {
      // One whose entry is gone is removed once it cannot be one being written now.
      if (IsOlderThan(status, kAbandonedAfterSeconds))
        checks.emplace_back(name, std::string(checked));
    } else {
      const auto bytes = static_cast<std::int64_t>(status.st_size);
      total += bytes;
      present.insert(name);
      if (!inUse.contains(name))
        entries.push_back({{status.st_mtim.tv_sec, status.st_mtim.tv_nsec}, bytes, name});
    }
  }
  for (const auto& [check, entry] : checks)
    if (!present.contains(entry)) (void)unlinkat(Fd(), check.c_str(), 0);
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.used < b.used; });
  for (const Entry& entry : entries) {
    if (total <= capBytes_) break;
    if (unlinkat(Fd(), entry.name.c_str(), 0) != 0) continue;
    (void)unlinkat(Fd(), CheckNameOf(entry.name).c_str(), 0);
    Forget(entry.name);
    total -= entry.bytes;
  }
}

}  // namespace sorvina::engine
