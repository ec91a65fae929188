// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "engine/fill/fill_record.h"

namespace sorvina::test {

// `history` as the version of the record before fingerprints wrote it: the same lines
// without the digest field, sealed with their checksum.
inline std::string RecordBeforeFingerprints(engine::FillHistory history) {
  for (engine::RecordedFill& fill : history.fills) {
    for (engine::RecordedFile& file : fill.files)
      file.digest.reset();
    for (engine::RecordedFile& playlist : fill.playlists)
      playlist.digest.reset();
  }
  const std::string now = engine::FormatFillRecord(history);
  std::string text =
      "sorvina-fills 2" + now.substr(now.find('\n'), now.rfind("end\t") - now.find('\n'));
  for (std::size_t at = 0; (at = text.find("\t-\t", at)) != std::string::npos;)
    text.erase(at, 2);
  return text + "end\t" + engine::TextHash(text) + "\n";
}

}  // namespace sorvina::test
