// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvina::platform {

// SHA-256 of `bytes` (FIPS 180-4).
std::array<std::uint8_t, 32> Sha256(std::string_view bytes);
// HMAC-SHA-256 of `message` under `key` (RFC 2104).
std::array<std::uint8_t, 32> HmacSha256(std::string_view key, std::string_view message);

// A secret of the user's that never leaves the computer: the seal of every fingerprint,
// so that no file written elsewhere (a record or journal edited on the player, a cache
// entry put there by hand) can name a fingerprint that a file of the user's matches.
class FingerprintKey {
 public:
  static constexpr std::size_t kBytes = 32;
  explicit FingerprintKey(std::string secret) : secret_(std::move(secret)) {}
  const std::string& secret() const { return secret_; }

 private:
  std::string secret_;
};

// The key kept in `path` (made with fresh random bytes, readable by the user alone, where
// missing); nothing, with the errno value in `error`, where it can be neither read nor
// made. Two processes that make it at once end up with the same key.
std::optional<FingerprintKey> LoadOrMakeFingerprintKey(const std::string& path, int* error);

// Where the user's key is kept: $XDG_STATE_HOME/sorvina/fingerprint.key; empty where no
// home folder is known.
std::string UserFingerprintKeyPath();
// The user's key, made on first use; nothing, with the errno value in `error` (ENOENT
// where no home folder is known), where it can be neither read nor made.
std::optional<FingerprintKey> UserFingerprintKey(int* error = nullptr);

// How much of a file's start and of its end a fingerprint covers.
inline constexpr std::size_t kFingerprintEdgeBytes = std::size_t{64} << 10;

// What tells a file that Sorvina wrote from any other: its size and a keyed hash of its
// first and last 64 KiB (the whole file where smaller). Cheap on a slow player however
// long the file, and no edit of a record can forge one without the key.
struct ContentFingerprint {
  std::int64_t sizeBytes = 0;
  std::array<std::uint8_t, 32> digest{};
  friend bool operator==(const ContentFingerprint&, const ContentFingerprint&) = default;
};

// The fingerprint of the regular file open as `fd` (for reading; its position is left
// alone), under `key`; nothing, with the errno value in `error`, where it cannot be read.
std::optional<ContentFingerprint> FingerprintOf(int fd, const FingerprintKey& key,
                                                int* error = nullptr);

// The fingerprint a file holding exactly `bytes` has.
ContentFingerprint FingerprintOfBytes(std::string_view bytes, const FingerprintKey& key);

// The digest in 64 lower-case hexadecimal digits, and back; nothing for any other text.
std::string DigestText(const std::array<std::uint8_t, 32>& digest);
std::optional<std::array<std::uint8_t, 32>> DigestFromText(std::string_view text);

}  // namespace sorvina::platform
