#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
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
        times_[name] = run.GetAdjustedRealTime();
      } else if (run.aggregate_name == "median") {
        times_[run.run_name.str()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const char* label, const std::string& ours, const std::string& baseline) {
    if (times_.count(ours) == 0 || times_.count(baseline) == 0) return;
    std::printf("%-44s %.2f\n", label, times_[ours] / times_[baseline]);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace sorvina::bench
