#pragma once

#include <string>
#include <vector>

#include "engine/run_ports.h"

namespace sorvina::engine {

enum class PlaylistResult { kWritten, kCancelled, kCannotOpen, kCannotWrite };

// Writes `chosenPaths`, in order, as an extended M3U playlist at `destination`: "#EXTM3U",
// then per file "#EXTINF:" seconds "," caption, and the path; every line ends in CR LF.
// A progress display titled "Creating Playlist" counts the entries and offers Cancel,
// which stops after a whole entry and keeps what was written. The file is written beside
// the destination and renamed over it when complete, so an existing playlist survives
// any failure. Failures are shown through `ports` ("Can't open play list for writing",
// "Can't write play list") and also returned.
PlaylistResult WritePlaylist(const std::string& destination,
                             const std::vector<std::string>& chosenPaths, RunPorts& ports);

}  // namespace sorvina::engine
