// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/probe_command.h"

#include "cli/exit_status.h"
#include "media/track_probe.h"

namespace sorvina::cli {

int RunProbe(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  media::TrackProbe probe;
  for (const std::string& path : files) {
    const media::TrackSummary summary = probe.Probe(path);
    out << summary.seconds << '\t' << summary.caption << '\t' << path << '\n';
  }
  out.flush();
  if (!out) {
    err << "sorvina-cli: cannot write the results to standard output\n";
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace sorvina::cli
