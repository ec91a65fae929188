// SPDX-License-Identifier: GPL-3.0-or-later
// What the progress window costs while the wizard writes a playlist. The wizard's
// writer moves the bar and lets the window handle its events (painting, Cancel) after
// every entry, with a real window on screen. Here the same 10,000-entry playlist of the
// probing benchmark's kind of files is written twice in the same run: once through ports
// that do nothing, once through the wizard's own ports, which open a ProgressWindow over
// a visible owner and pump it after each file. The window alone (the same progress calls
// without any file) is measured too, to show the cost per call.
//
// Runs on the offscreen platform unless a platform is chosen (QT_QPA_PLATFORM): the
// window is painted into its backing store all the same, only nothing reaches a screen.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QWidget>

#include "bench/mp3_library.h"
#include "bench/ratio_reporter.h"
#include "engine/output/playlist_writer.h"
#include "tests/ui/ui_test_support.h"
#include "ui/progress/wizard_run_ports.h"

namespace {

using sorvina::engine::PlaylistResult;

constexpr int kFileCount = 10000;
constexpr int kRepetitions = 5;

const sorvina::bench::Mp3Library* library = nullptr;
QWidget* owner = nullptr;

void Write(sorvina::engine::RunPorts& ports) {
  const std::string playlist = (library->folder() / "mix.m3u").string();
  if (sorvina::engine::WritePlaylist(playlist, library->paths(), ports) !=
      PlaylistResult::kWritten) {
    std::fprintf(stderr, "the playlist was not written to the end\n");
    std::abort();
  }
}

void BM_WritePlaylistQuiet(benchmark::State& state) {
  sorvina::bench::QuietPorts ports;
  for (auto _ : state)
    Write(ports);
}

void BM_WritePlaylistInWindow(benchmark::State& state) {
  sorvina::ui::WizardRunPorts ports(owner);
  for (auto _ : state)
    Write(ports);
}

// The writer's progress calls alone, in the same order, with no file between them.
void BM_WindowAlone(benchmark::State& state) {
  sorvina::ui::WizardRunPorts ports(owner);
  for (auto _ : state) {
    const std::unique_ptr<sorvina::engine::ProgressPort> progress =
        ports.OpenProgress("Creating Playlist");
    progress->SetRange(0, kFileCount);
    for (int i = 0; i < kFileCount; ++i) {
      if (progress->PumpAndCheckCancel()) std::abort();
      progress->SetPosition(i);
    }
  }
}

BENCHMARK(BM_WritePlaylistQuiet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlaylistInWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowAlone)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  sorvina::bench::InitializeWithRepetitions(argc, argv, kRepetitions);
  QApplication application(argc, argv);
  sorvina::test::QuietOffscreenWarnings();
  QWidget wizard;
  wizard.resize(640, 480);
  wizard.show();
  owner = &wizard;
  const sorvina::bench::Mp3Library files(kFileCount);
  library = &files;

  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  reporter.PrintRatio("In the window / quiet (goal <= 1.25)", "BM_WritePlaylistInWindow",
                      "BM_WritePlaylistQuiet");
  reporter.PrintRatio("Window alone / quiet", "BM_WindowAlone", "BM_WritePlaylistQuiet");
  reporter.Record("Playlist", "progress window's pump, 10,000 files", "BM_WritePlaylistInWindow",
                  "the same with no window", "BM_WritePlaylistQuiet", "1.25");
  benchmark::Shutdown();
  return 0;
}
