// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/content_fingerprint.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"
#include "platform/new_file.h"
#include "platform/unique_fd.h"
#include "platform/user_folders.h"

namespace sorvina::platform {
namespace {

using Digest = std::array<std::uint8_t, 32>;

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t RotateRight(std::uint32_t value, int bits) {
  return (value >> bits) | (value << (32 - bits));
}

// SHA-256 fed piece by piece, so that a file's two ends need not be put together first.
class Sha256Stream {
 public:
  void Add(std::string_view bytes) {
    length_ += bytes.size();
    while (!bytes.empty()) {
      const std::size_t take = std::min(bytes.size(), sizeof block_ - filled_);
      std::memcpy(block_ + filled_, bytes.data(), take);
      filled_ += take;
      bytes.remove_prefix(take);
      if (filled_ == sizeof block_) {
        Compress();
        filled_ = 0;
      }
    }
  }

  Digest Finish() {
    const std::uint64_t bits = length_ * 8;
    const char one = static_cast<char>(0x80);
    Add(std::string_view(&one, 1));
    const char zero = 0;
    while (filled_ != 56)
      Add(std::string_view(&zero, 1));
    char length[8];
    for (int i = 0; i < 8; ++i)
      length[i] = static_cast<char>(bits >> (56 - 8 * i));
    Add(std::string_view(length, 8));
    Digest digest{};
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j)
        digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    return digest;
  }

 private:
  void Compress() {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = static_cast<std::uint32_t>(block_[4 * i]) << 24 |
             static_cast<std::uint32_t>(block_[4 * i + 1]) << 16 |
             static_cast<std::uint32_t>(block_[4 * i + 2]) << 8 | block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 =
          RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 =
          RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      const std::uint32_t choice = (e & f) ^ (~e & g);
      const std::uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
      const std::uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + s0 + majority;
    }
    const std::uint32_t round[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
      state_[i] += round[i];
  }

  std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block_[64] = {};
  std::size_t filled_ = 0;
  std::uint64_t length_ = 0;
};

// HMAC-SHA-256 fed piece by piece.
class HmacStream {
 public:
  explicit HmacStream(std::string_view key) {
    std::string padded(64, '\0');
    if (key.size() > padded.size()) {
      const Digest hashed = Sha256(key);
      std::memcpy(padded.data(), hashed.data(), hashed.size());
    } else {
      std::memcpy(padded.data(), key.data(), key.size());
    }
    std::string inner = padded;
    outerKey_ = padded;
    for (std::size_t i = 0; i < padded.size(); ++i) {
      inner[i] = static_cast<char>(inner[i] ^ 0x36);
      outerKey_[i] = static_cast<char>(outerKey_[i] ^ 0x5c);
    }
    inner_.Add(inner);
  }
  void Add(std::string_view bytes) { inner_.Add(bytes); }
  Digest Finish() {
    const Digest inner = inner_.Finish();
    Sha256Stream outer;
    outer.Add(outerKey_);
    outer.Add(std::string_view(reinterpret_cast<const char*>(inner.data()), inner.size()));
    return outer.Finish();
  }

 private:
  Sha256Stream inner_;
  std::string outerKey_;
};

// Reads `size` bytes at `offset` whole; 0, or the errno value (EIO where the file ended).
int ReadAt(int fd, char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t got = pread(fd, data, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return EIO;
    data += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return 0;
}

std::optional<FingerprintKey> KeyFromText(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  const std::optional<Digest> secret = DigestFromText(text);
  if (!secret) return std::nullopt;
  return FingerprintKey(std::string(reinterpret_cast<const char*>(secret->data()), secret->size()));
}

// The key in `path`; ENOENT where there is none yet.
std::optional<FingerprintKey> ReadKey(const std::string& path, int& error) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    error = errno;
    return std::nullopt;
  }
  char text[80];
  ssize_t got = 0;
  do {
    got = read(fd.get(), text, sizeof text);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    error = errno;
    return std::nullopt;
  }
  std::optional<FingerprintKey> key =
      KeyFromText(std::string_view(text, static_cast<std::size_t>(got)));
  if (!key) error = EINVAL;
  return key;
}

// Writes a fresh key under `path`, never in place of one that is there; 0, EEXIST, or the
// errno value of the failure.
int MakeKey(const std::string& path) {
  Digest secret{};
  if (getrandom(secret.data(), secret.size(), 0) != static_cast<ssize_t>(secret.size()))
    return errno != 0 ? errno : EIO;
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (const int error = MakeFolders(path.substr(0, slash))) return error;
  }
  std::string temporary;
  const UniqueFd fd(CreateHiddenSibling(path, ".tmp", 0600, temporary));
  if (!fd) return errno;
  int error = WriteAll(fd.get(), DigestText(secret) + "\n");
  if (error == 0 && fsync(fd.get()) != 0) error = errno;
  if (error == 0 && link(temporary.c_str(), path.c_str()) != 0) error = errno;
  (void)unlink(temporary.c_str());
  return error;
}

}  // namespace

std::array<std::uint8_t, 32> Sha256(std::string_view bytes) {
  Sha256Stream stream;
  stream.Add(bytes);
  return stream.Finish();
}

std::array<std::uint8_t, 32> HmacSha256(std::string_view key, std::string_view message) {
  HmacStream stream(key);
  stream.Add(message);
  return stream.Finish();
}

std::optional<FingerprintKey> LoadOrMakeFingerprintKey(const std::string& path, int* error) {
  int failure = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (std::optional<FingerprintKey> key = ReadKey(path, failure)) return key;
    if (failure != ENOENT) break;
    // Made by another process meanwhile: read what it made.
    failure = MakeKey(path);
    if (failure != 0 && failure != EEXIST) break;
  }
  if (error != nullptr) *error = failure;
  return std::nullopt;
}

std::string UserFingerprintKeyPath() {
  const std::string folder = StateFolder();
  return folder.empty() ? std::string() : folder + "/fingerprint.key";
}

std::optional<FingerprintKey> UserFingerprintKey(int* error) {
  const std::string path = UserFingerprintKeyPath();
  if (path.empty()) {
    if (error != nullptr) *error = ENOENT;
    return std::nullopt;
  }
  return LoadOrMakeFingerprintKey(path, error);
}

namespace {

// The keyed hash of a file of `size` bytes whose first and last bytes are `ends`.
ContentFingerprint Sealed(std::size_t size, std::string_view ends, const FingerprintKey& key) {
  // The size goes in too: two files that share both ends but not their length differ.
  char length[8];
  for (int i = 0; i < 8; ++i)
    length[i] = static_cast<char>(static_cast<std::uint64_t>(size) >> (56 - 8 * i));
  HmacStream hmac(key.secret());
  hmac.Add(std::string_view(length, sizeof length));
  hmac.Add(ends);
  return ContentFingerprint{static_cast<std::int64_t>(size), hmac.Finish()};
}

// How many bytes of a file of `size` the fingerprint takes from its start, and from its end.
std::pair<std::size_t, std::size_t> EdgesOf(std::size_t size) {
  const std::size_t head = std::min(size, kFingerprintEdgeBytes);
  return {head, std::min(size - head, kFingerprintEdgeBytes)};
}

}  // namespace

std::optional<ContentFingerprint> FingerprintOf(int fd, const FingerprintKey& key, int* error) {
  const auto fail = [error](int failure) -> std::optional<ContentFingerprint> {
    if (error != nullptr) *error = failure;
    return std::nullopt;
  };
  struct stat status {};
  if (fstat(fd, &status) != 0) return fail(errno);
  if (!S_ISREG(status.st_mode)) return fail(EINVAL);
  const auto size = static_cast<std::size_t>(status.st_size);
  const auto [headBytes, tailBytes] = EdgesOf(size);
  std::string bytes(headBytes + tailBytes, '\0');
  if (const int failure = ReadAt(fd, bytes.data(), headBytes, 0)) return fail(failure);
  if (const int failure =
          ReadAt(fd, bytes.data() + headBytes, tailBytes, static_cast<off_t>(size - tailBytes)))
    return fail(failure);
  return Sealed(size, bytes, key);
}

ContentFingerprint FingerprintOfBytes(std::string_view bytes, const FingerprintKey& key) {
  const auto [headBytes, tailBytes] = EdgesOf(bytes.size());
  const std::string ends =
      std::string(bytes.substr(0, headBytes)).append(bytes.substr(bytes.size() - tailBytes));
  return Sealed(bytes.size(), ends, key);
}

std::string DigestText(const std::array<std::uint8_t, 32>& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(64);
  for (const std::uint8_t byte : digest) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0xF]);
  }
  return text;
}

std::optional<std::array<std::uint8_t, 32>> DigestFromText(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  const auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::array<std::uint8_t, 32> digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return digest;
}

}  // namespace sorvina::platform
