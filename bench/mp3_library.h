// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A library of tagged MP3 files in a temporary folder, for the benchmarks that probe
// files or write playlists, and a front end that shows nothing while they run.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/report/run_ports.h"
#include "tests/support/mp3_fixtures.h"

namespace sorvina::bench {

// `count` files "trackN.mp3" in a fresh temporary folder, removed with the object. A mix
// like a real library: half constant bitrate, half variable with a Xing frame; ID3v2.4
// and 2.3 tags; a front cover of 40 KB on every fourth file; an ID3v1 tag on every other
// one. Titles are "Title " and five digits, so every file has a caption of its own.
//
// The four kinds of file are made once with TagLib and then copied with the title's
// digits put in place, which keeps a library of 10,000 files quick to make. The files
// are read from the cache afterwards: the benchmarks measure warm runs.
class Mp3Library {
 public:
  explicit Mp3Library(int count) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "sorvina-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    folder_ = pattern;
    try {
      Fill(count);
    } catch (...) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
      throw;
    }
  }
  ~Mp3Library() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  Mp3Library(const Mp3Library&) = delete;
  Mp3Library& operator=(const Mp3Library&) = delete;

  const std::vector<std::string>& paths() const { return paths_; }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  static constexpr int kDigits = 5;

  // A file of one kind, and where the title's digits lie in it (one byte apart in UTF-8,
  // two in UTF-16).
  struct Template {
    std::string bytes;
    std::size_t firstDigit = 0;
    std::size_t stride = 1;
  };

  void Fill(int count) {
    std::array<Template, 4> kinds;
    for (int kind = 0; kind < 4; ++kind)
      kinds[static_cast<std::size_t>(kind)] = MakeTemplate(kind);
    paths_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      Template& kind = kinds[static_cast<std::size_t>(i % 4)];
      int digits = i;
      for (int place = kDigits - 1; place >= 0; --place, digits /= 10) {
        kind.bytes[kind.firstDigit + static_cast<std::size_t>(place) * kind.stride] =
            static_cast<char>('0' + digits % 10);
      }
      std::string path = (folder_ / ("track" + std::to_string(i) + ".mp3")).string();
      std::ofstream out(path, std::ios::binary);
      out.write(kind.bytes.data(), static_cast<std::streamsize>(kind.bytes.size()));
      if (!out.flush()) throw std::runtime_error("cannot write " + path);
      paths_.push_back(std::move(path));
    }
  }

  // Kind k is what file number k of the mix is, and so is every fourth file after it.
  Template MakeTemplate(int kind) const {
    const test::FrameFormat format{};
    const bool constantBitrate = kind % 2 == 0;
    std::string audio = constantBitrate ? std::string{} : test::XingFrame(format, 150);
    audio += test::SilentFrames(format, 150);
    if (constantBitrate) audio += test::Id3v1Tag("Old Title", "Old Artist");
    const std::string path = (folder_ / ("template" + std::to_string(kind) + ".mp3")).string();
    std::ofstream(path, std::ios::binary)
        .write(audio.data(), static_cast<std::streamsize>(audio.size()));
    const std::string title = "Title " + std::string(kDigits, '0');
    test::WriteId3v2Texts(path, title, "Artist", 3 + kind % 2, kind == 0 ? 40000 : 0);

    Template result;
    std::ifstream in(path, std::ios::binary);
    result.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(path);
    // The title as UTF-8, else as UTF-16 in either byte order.
    std::string little;
    std::string big;
    for (char c : title) {
      little += {c, '\0'};
      big += {'\0', c};
    }
    const std::size_t digitsAt = title.size() - kDigits;
    if (const std::size_t at = result.bytes.find(title); at != std::string::npos) {
      result.firstDigit = at + digitsAt;
    } else if (const std::size_t le = result.bytes.find(little); le != std::string::npos) {
      result.firstDigit = le + 2 * digitsAt;
      result.stride = 2;
    } else if (const std::size_t be = result.bytes.find(big); be != std::string::npos) {
      result.firstDigit = be + 2 * digitsAt + 1;
      result.stride = 2;
    } else {
      throw std::runtime_error("the title is not where it was written in " + path);
    }
    return result;
  }

  std::filesystem::path folder_;
  std::vector<std::string> paths_;
};

// A front end that shows nothing and never cancels; a message means the run is broken.
class QuietPorts : public engine::RunPorts {
 public:
  void ShowInformation(const text::UserText& message) override {
    std::fprintf(stderr, "%s\n", text::English(message).c_str());
    std::abort();
  }
  void SetWaitCursor(bool) override {}
  std::unique_ptr<engine::ProgressPort> OpenProgress(const text::UserText&) override {
    return std::make_unique<Progress>();
  }

 private:
  class Progress : public engine::ProgressPort {
   public:
    void SetRange(int, int) override {}
    void SetPosition(int position) override { benchmark::DoNotOptimize(position); }
    bool PumpAndCheckCancel() override { return false; }
  };
};

// Google Benchmark's own initialisation, with defaults that suit comparisons on a shared
// machine: repetitions whose median is kept, in random order across the benchmarks so
// that a busy spell does not fall on one of them alone. Flags given on the command line
// win over these.
inline void InitializeWithRepetitions(int& argc, char**& argv, int repetitions) {
  static std::vector<std::string> texts;
  static std::vector<char*> arguments;
  texts = {"--benchmark_repetitions=" + std::to_string(repetitions),
           "--benchmark_enable_random_interleaving=true",
           "--benchmark_report_aggregates_only=true"};
  arguments.assign(argv, argv + 1);
  for (std::string& text : texts)
    arguments.push_back(text.data());
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  argc = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);
  argv = arguments.data();
  benchmark::Initialize(&argc, argv);
}

}  // namespace sorvina::bench
