// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/content_fingerprint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

using test::TempDir;

std::string Hex(const std::array<std::uint8_t, 32>& digest) {
  return DigestText(digest);
}

TEST(ContentFingerprintTest, HashesMatchThePublishedVectors) {
  // FIPS 180-4 examples, a message that fills a block's padding exactly, and RFC 4231.
  EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(Sha256(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Hex(HmacSha256(std::string(20, '\x0b'), "Hi There")),
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  EXPECT_EQ(Hex(HmacSha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(Hex(HmacSha256(std::string(131, '\xaa'),
                           "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
  EXPECT_EQ(DigestFromText(Hex(Sha256("abc"))), Sha256("abc"));
  for (const char* text :
       {"", "abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"})
    EXPECT_FALSE(DigestFromText(text)) << text;
}

TEST(ContentFingerprintTest, CoversSizeAndBothEndsUnderTheKeyOnly) {
  const TempDir dir;
  const FingerprintKey key(std::string(32, 'k'));
  const auto of = [&](const std::string& name, const std::string& bytes) {
    const UniqueFd fd(open(dir.WriteFile(name, bytes).c_str(), O_RDONLY | O_CLOEXEC));
    return FingerprintOf(fd.get(), key).value();
  };
  const std::string song = std::string(300 * 1024, 'x') + "end";
  const ContentFingerprint fingerprint = of("song", song);
  EXPECT_EQ(fingerprint.sizeBytes, static_cast<std::int64_t>(song.size()));
  EXPECT_EQ(of("copy", song), fingerprint);

  std::string middle = song;
  middle[150 * 1024] = 'y';  // beyond both ends: not looked at
  EXPECT_EQ(of("middle", middle), fingerprint);
  std::string head = song;
  head[10] = 'y';
  EXPECT_NE(of("head", head), fingerprint);
  EXPECT_NE(of("tail", song.substr(0, song.size() - 1) + "E"), fingerprint);
  EXPECT_NE(of("longer", song + "x").digest, fingerprint.digest);
  // Short files are covered whole, and empty ones too.
  EXPECT_NE(of("a", "abc"), of("b", "abd"));
  EXPECT_EQ(of("empty", "").sizeBytes, 0);

  const UniqueFd fd(open((dir / "song").c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_NE(FingerprintOf(fd.get(), FingerprintKey(std::string(32, 'l'))), fingerprint);
  const UniqueFd folder(open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int error = 0;
  EXPECT_FALSE(FingerprintOf(folder.get(), key, &error));
  EXPECT_EQ(error, EINVAL);
}

TEST(ContentFingerprintTest, KeyIsMadeOnceReadableByTheUserAloneAndKept) {
  const TempDir dir;
  const std::string path = dir / "state/sorvina/fingerprint.key";
  std::vector<std::string> secrets(8);
  std::vector<std::thread> makers;
  for (std::string& secret : secrets)
    makers.emplace_back([&] { secret = LoadOrMakeFingerprintKey(path, nullptr).value().secret(); });
  for (std::thread& maker : makers)
    maker.join();
  for (const std::string& secret : secrets) {
    EXPECT_EQ(secret, secrets.front());
    EXPECT_EQ(secret.size(), FingerprintKey::kBytes);
  }
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A damaged key is reported, never replaced: what was sealed with it would be lost.
  const std::string damaged = dir.WriteFile("damaged.key", "not a key\n");
  int error = 0;
  EXPECT_FALSE(LoadOrMakeFingerprintKey(damaged, &error));
  EXPECT_EQ(error, EINVAL);
  EXPECT_EQ(test::ReadBytes(damaged), "not a key\n");
}

}  // namespace
}  // namespace sorvina::platform
