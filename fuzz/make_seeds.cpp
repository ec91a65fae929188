// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets into <fuzz folder>/corpus/<target>/, from
// the same fixture writers the tests use: frame headers, ID3v2 tags and footers, Xing,
// Info and VBRI headers, streams whose bitrate changes, ID3v1 tags, tags written by
// TagLib, the settings example, playlists with CR LF, LF and a byte-order mark; and
// small files from ffmpeg's encoders for the audio_* targets and, tagged with positions,
// ratings and gains, for the targets that read a song's tags. Usage: sorvina_fuzz_seeds
// FUZZ_FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"

namespace {

namespace fs = std::filesystem;
using sorvina::test::FrameFormat;
using sorvina::test::MpegLayer;
using sorvina::test::MpegVersion;

fs::path gRoot;

void Write(const std::string& target, const std::string& name, std::string_view bytes) {
  const fs::path folder = gRoot / "corpus" / target;
  fs::create_directories(folder);
  std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "cannot write the seed %s/%s\n", target.c_str(), name.c_str());
    std::exit(1);
  }
}

std::string Padded(std::string bytes, std::size_t size) {
  bytes.resize(size, '\0');
  return bytes;
}

std::string Frame(const FrameFormat& format = {}) {
  return sorvina::test::HeaderBytes(sorvina::test::FrameHeader(format));
}

void Mp3Seeds() {
  using namespace sorvina::test;
  const FrameFormat mpeg2Mono{MpegVersion::kMpeg2, MpegLayer::kIII, 64, 22050, true};
  const FrameFormat mpeg25{MpegVersion::kMpeg25, MpegLayer::kIII, 32, 8000, false};
  const FrameFormat layer1{MpegVersion::kMpeg1, MpegLayer::kI, 384, 48000, false};
  const FrameFormat layer2{MpegVersion::kMpeg1, MpegLayer::kII, 192, 32000, true};
  Write("mp3_info", "frame", Padded(Frame(), 600));
  Write("mp3_info", "tag-frame", Padded(Id3v2Tag(100) + Frame(), 400));
  Write("mp3_info", "tag-footer-frame", Padded(Id3v2Tag(40, true) + Frame(), 300));
  Write("mp3_info", "tag-chain",
        Padded(Id3v2Footer(7) + Id3v2Tag(30) + Id3v2Tag(20, true) + Id3v2Footer(0) + Id3v2Tag(0) +
                   Frame(),
               400));
  Write("mp3_info", "junk-frame", Padded(Id3v2Tag(10) + "\xFF\xFB\x00" + Frame(), 200));
  Write("mp3_info", "xing", XingFrame(FrameFormat{}, 1100));
  Write("mp3_info", "xing-no-count", XingFrame(FrameFormat{}, std::nullopt));
  Write("mp3_info", "xing-mpeg2-mono", XingFrame(mpeg2Mono, 5000));
  Write("mp3_info", "xing-mpeg25", XingFrame(mpeg25, 0xFFFFFFFFu));
  Write("mp3_info", "layer1", Padded(Frame(layer1), 300));
  Write("mp3_info", "layer2-mono", SilentFrames(layer2, 1));
  Write("mp3_info", "id3v1", Padded(Frame(), 300) + Id3v1Tag("Title", "Artist"));
  Write("mp3_info", "frame-in-id3v1", Id3v1Tag(Frame(), ""));
  Write("mp3_info", "huge-tag", Id3v2Header(0x0FFFFFFF) + Frame());
  // Beyond the first read: the search reads ahead, a tag skip reads elsewhere.
  Write("mp3_info", "junk-8k", Padded(std::string(8000, '\0') + Frame(), 8200));
  Write("mp3_info", "tag-6k", Padded(Id3v2Tag(6000) + XingFrame(FrameFormat{}, 77), 6800));
  // Streams whose bitrate changes: counted, or timed by the Info or VBRI count.
  const FrameFormat slow{MpegVersion::kMpeg1, MpegLayer::kIII, 32, 32000, true};
  const FrameFormat fast{MpegVersion::kMpeg1, MpegLayer::kIII, 40, 32000, true};
  const std::string varying = SilentFrames(slow, 3) + SilentFrames(fast, 2) + SilentFrames(slow, 2);
  Write("mp3_info", "vbr-walk", varying + Id3v1Tag("T", "A"));
  Write("mp3_info", "vbr-junk", SilentFrames(slow, 2) + "\xFF\xFB\x00" + SilentFrames(fast, 3));
  Write("mp3_info", "vbr-id3-inside", SilentFrames(fast, 2) + Id3v2Tag(20) + SilentFrames(slow, 2));
  Write("mp3_info", "vbr-ape",
        varying + "APETAGEX" + std::string("\xD0\x07\0\0\x20\0\0\0\0\0\0\0\0\0\0\0", 16) +
            std::string(8, '\0'));
  Write("mp3_info", "info-slower", XingFrame(slow, 6, "Info") + SilentFrames(fast, 6));
  Write("mp3_info", "vbri", VbriFrame(FrameFormat{}, 900, 7) + varying);
  Write("mp3_info", "later-looks", SilentFrames(slow, 12) + SilentFrames(fast, 6));
}

// Small files from the encoders, one or two per format that TagLib reads for the probe:
// a third of a second of sound at 8 kHz, tagged.
void EncodedSeeds() {
  using sorvina::test::ShellQuoted;
  if (!sorvina::test::ProgramsInstalled({"ffmpeg"})) {
    std::fprintf(stderr, "ffmpeg is missing: no seeds for the audio_* targets\n");
    return;
  }
  const fs::path wav = gRoot / "corpus" / ".scratch.wav";
  std::ofstream(wav, std::ios::binary) << sorvina::test::SoundWav(8000, 1, 0.3);
  const std::pair<const char*, const char*> encodings[] = {
      {"audio_flac/seed-flac.flac", "-c:a flac"},
      {"audio_ogg/seed-vorbis.ogg", "-c:a libvorbis"},
      {"audio_ogg/seed-flac-in-ogg.ogg", "-c:a flac"},
      {"audio_opus/seed-opus.opus", "-c:a libopus"},
      {"audio_mp4/seed-aac.m4a", "-c:a aac"},
      {"audio_mp4/seed-alac.m4a", "-c:a alac"},
      {"audio_asf/seed-wma.wma", "-c:a wmav2"},
      {"audio_wav/seed-wav.wav", "-c:a pcm_u8"},
      {"audio_aiff/seed-aiff.aiff", "-c:a pcm_s8 -write_id3v2 1"},
  };
  for (const auto& [name, options] : encodings) {
    const fs::path seed = gRoot / "corpus" / name;
    fs::create_directories(seed.parent_path());
    const std::string command = "ffmpeg -v error -y -i " + ShellQuoted(wav.string()) + " " +
                                options + " -metadata title=Title -metadata artist=Artist " +
                                ShellQuoted(seed.string());
    if (!sorvina::test::RunCommand(command)) {
      std::fprintf(stderr, "cannot encode the seed %s\n", name);
      std::exit(1);
    }
  }
  fs::remove(wav);
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Tagged files of every music type for the draw_tags, carried_tags and loudness_tags
// targets: the first byte picks the ending (kSongEndings), the file follows. Gains are
// written as taggers do, some with a decimal comma or the minus sign U+2212.
void TagSeeds() {
  using sorvina::test::ShellQuoted;
  if (!sorvina::test::ProgramsInstalled({"ffmpeg"})) {
    std::fprintf(stderr, "ffmpeg is missing: no seeds for the tag targets\n");
    return;
  }
  const fs::path scratch = gRoot / "corpus" / ".scratch";
  fs::create_directories(scratch);
  const std::string cover = (scratch / "cover.png").string();
  const std::string tone = "ffmpeg -v error -y -f lavfi -i sine=duration=0.2:sample_rate=8000 ";
  const std::string withCover =
      "-i " + ShellQuoted(cover) + " -map 0 -map 1 -c:v copy -disposition:v attached_pic ";
  const std::string common =
      "-metadata artist=' Artist ' -metadata album_artist=Various -metadata album=Album "
      "-metadata title=Title -metadata track=3/12 -metadata disc=1/2 -metadata date=2019 ";
  const struct {
    const char* name;
    const char* ending;
    std::string options;
  } files[] = {
      {"mp3", ".mp3",
       withCover +
           "-c:a libmp3lame -metadata 'REPLAYGAIN_TRACK_GAIN=\u2212"
           "6,5 dB' "
           "-metadata REPLAYGAIN_TRACK_PEAK=0.5 -metadata 'REPLAYGAIN_ALBUM_GAIN=+1.20 dB'"},
      {"flac", ".flac",
       withCover + "-c:a flac -metadata 'REPLAYGAIN_TRACK_GAIN=-6.50 dB' "
                   "-metadata REPLAYGAIN_ALBUM_PEAK=0,988 -metadata FMPS_RATING=0.8"},
      {"vorbis", ".ogg", "-c:a libvorbis -metadata RATING=60 -metadata REPLAYGAIN_TRACK_GAIN=-3"},
      {"opus", ".opus", "-c:a libopus -metadata R128_TRACK_GAIN=-1536"},
      {"aac", ".m4a", "-c:a aac"},
      {"wma", ".wma", "-c:a wmav2 -metadata 'REPLAYGAIN_TRACK_GAIN=-6.50 dB'"},
      {"wav", ".wav", "-c:a pcm_u8"},
      {"aiff", ".aiff", "-c:a pcm_s8 -write_id3v2 1"},
  };
  if (!sorvina::test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=16x16 -frames:v 1 " +
                                 ShellQuoted(cover))) {
    std::fprintf(stderr, "cannot draw the seed cover\n");
    std::exit(1);
  }
  for (const auto& file : files) {
    const fs::path encoded = scratch / (std::string("song") + file.ending);
    const std::string command = tone + file.options + " " + common + ShellQuoted(encoded.string());
    if (!sorvina::test::RunCommand(command)) {
      std::fprintf(stderr, "cannot encode the seed %s\n", file.name);
      std::exit(1);
    }
    char pick = 0;
    while (std::string_view(sorvina::fuzz::kSongEndings[static_cast<int>(pick)]) != file.ending)
      ++pick;
    const std::string bytes = pick + FileBytes(encoded);
    for (const char* target : {"draw_tags", "carried_tags", "loudness_tags"})
      Write(target, file.name, bytes);
  }
  fs::remove_all(scratch);
}

void CaptionSeeds() {
  using namespace sorvina::test;
  const fs::path scratch = gRoot / "corpus" / ".scratch.mp3";
  auto tagged = [&](const std::string& name, std::string_view title, std::string_view artist,
                    int version, std::string tail) {
    {
      std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
      const std::string audio = SilentFrames(FrameFormat{}, 1) + tail;
      out.write(audio.data(), static_cast<std::streamsize>(audio.size()));
    }
    if (!title.empty() || !artist.empty()) WriteId3v2Texts(scratch, title, artist, version);
    Write("caption", name, FileBytes(scratch));
  };
  tagged("v4", "Für Elise ♪", "Björk", 4, "");
  tagged("v3-utf16", "Ölmühle 東京", "Sigur Rós", 3, Id3v1Tag("Other", "Texts"));
  tagged("v4-title-only", "One\r\nTwo\tThree", "", 4, "");
  tagged("v4-artist-only", "", "Red", 4, Id3v1Tag("Green", ""));
  tagged("id3v1", "", "", 4, Id3v1Tag("Caf\xE9", "Old Artist"));
  tagged("untagged", "", "", 4, "");
  fs::remove(scratch);
  // Texts that are no valid UTF-16 or UTF-8: the caption must still be UTF-8.
  auto textTag = [](std::string_view text) {
    std::string frame = "TIT2" + SynchsafeBytes(static_cast<std::uint32_t>(text.size()));
    frame += std::string(2, '\0');
    frame += text;
    return Id3v2Header(static_cast<std::uint32_t>(frame.size())) + frame + Frame();
  };
  Write("caption", "utf16-lone-surrogate",
        textTag(std::string("\x01\xFF\xFE\x00\xD8"
                            "A\x00",
                            7)));
  Write("caption", "utf8-invalid", textTag("\x03\xC3\x28\xED\xA0\x80\xFF"));
  Write("caption", "latin1",
        textTag(std::string("\x00"
                            "Caf\xE9",
                            5)));
  std::string cut = Id3v2Header(1000);
  cut += "TIT2";
  Write("caption", "cut", cut);
  Write("caption", "bogus-size", Id3v2Header(200 * 1024 * 1024));
  Write("caption", "name", "/music/Grüße.mp3");
  Write("caption", "windows-name", "C:\\Music\\Song One.mp3");
}

void PlaylistSeeds() {
  Write("playlist", "crlf",
        "#EXTM3U\r\n#EXTINF:12,Artist - Title\r\na.mp3\r\n#EXTINF:3,B\r\nSub/b.mp3\r\n");
  Write("playlist", "lf", "a.mp3\nSub\\b.mp3\n../c.MP3\nfolder.mp3\nmissing.mp3\n\n");
  Write("playlist", "bom",
        "\xEF\xBB\xBF"
        "a.mp3\r\n/music/x.mp3\r\nnot-audio.txt");
  Write("playlist", "windows", "C:\\Lists\\x.m3u\nmusic\\a.mp3\n\\Music\\b.mp3\nD:\\c.mp3\n");
  Write("playlist", "duplicates", "a.mp3\n./a.mp3\nSub//b.mp3\nSub/b.mp3\r\nA.MP3\n");
}

void SettingsSeeds() {
  Write("settings_file", "example",
        "2\r\n/lists/party.m3u\r\n/music/rock/\r\n/player/\r\n1\r\n2.50 /music/rock/\r\n0 650\r\n");
  Write("settings_file", "all", "0\r\n\r\n0\r\n2 \r\n");
  Write("settings_file", "counts", " \t+2 sources\n/a/\n/b/\n/dest/\n1x\n1.00 /a/\n1 3\n");
  Write("settings_file", "short", "2000000000\r\n/a/\r\n/b/\r\n");
  Write("settings_file", "odd-mode", "0\n/d/\n-3\n\r\n");
  Write("settings_file", "cr", "1\r\n/ends in cr\r\r\n\r\n0\r\n7 1\r");
}

void WeightSeeds() {
  for (const char* entry :
       {"2.50 /music/rock/", "1.00 C:\\Music\\/", "0.50 /music/\\", "abc /music/", "1e999 /x",
        "garbled", " 2 /a//", "-0.001 C:\\", "1.5e95 /m"}) {
    static int n = 0;
    Write("folder_weights", std::to_string(++n), entry);
  }
}

void FolderTextSeeds() {
  using namespace std::string_literals;
  int n = 0;
  for (const std::string& input :
       {"\x00"
        "C:\\Mu\0MUSIC"s,
        "\x02ro\0ROCK"s, "\x03Ro\0Rock\0Roll"s, "\x00\\\\server\\share\\new"s,
        "\x04"
        "C:\\"s,
        "\x06/home/user/Mu\0Music"s, "\x01Q:\\New\\"s, "\x08\\\\"s,
        "\x0A"
        "C:\\Music/Ro\0Rockabilly"s,
        "\x0C/"s,
        "\x0E"
        "C:"s,
        "\x10new/folder/"s}) {
    Write("folder_text", std::to_string(++n), input);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FUZZ_FOLDER\n", argv[0]);
    return 2;
  }
  gRoot = argv[1];
  Mp3Seeds();
  EncodedSeeds();
  CaptionSeeds();
  TagSeeds();
  PlaylistSeeds();
  SettingsSeeds();
  WeightSeeds();
  FolderTextSeeds();
  return 0;
}
