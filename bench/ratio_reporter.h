// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace sorvina::bench {

// Prints the usual console table and keeps each benchmark's time (the median when
// repetitions were asked for) so that ratios between two benchmarks of the same run can
// be printed at the end: ratios, not seconds, are what carries over between machines.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      if (run.run_type == Run::RT_Iteration && times_.count(name + "_median") == 0) {
        times_[name] = SecondsOf(run);
      } else if (run.aggregate_name == "median") {
        times_[run.run_name.str()] = SecondsOf(run);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const char* label, const std::string& ours, const std::string& baseline) {
    if (times_.count(ours) == 0 || times_.count(baseline) == 0) return;
    std::printf("%-44s %.2f\n", label, times_[ours] / times_[baseline]);
  }

  // Seconds of one benchmark (its median when repetitions were asked for), or a negative
  // number when it did not run.
  double Seconds(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? -1.0 : found->second;
  }

  // Appends one comparison to the results file that bench/run collects (named by
  // SORVINA_BENCH_RESULTS; nothing happens without it): area, case, our seconds, the
  // baseline's label and seconds, and the goal as the largest acceptable ratio ("-" for
  // none).
  void Record(const char* area, const char* caseName, const std::string& ours,
              const char* baselineLabel, const std::string& baseline, const char* goal) const {
    const char* file = std::getenv("SORVINA_BENCH_RESULTS");
    if (file == nullptr || *file == '\0') return;
    if (Seconds(ours) < 0 || Seconds(baseline) < 0) return;
    if (std::FILE* out = std::fopen(file, "a")) {
      std::fprintf(out, "%s\t%s\t%.6f\t%s\t%.6f\t%s\n", area, caseName, Seconds(ours),
                   baselineLabel, Seconds(baseline), goal);
      std::fclose(out);
    }
  }

 private:
  static double SecondsOf(const Run& run) {
    return run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  std::map<std::string, double> times_;
};

}  // namespace sorvina::bench
