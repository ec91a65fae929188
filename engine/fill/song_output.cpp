// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/song_output.h"

#include "media/file_types.h"

namespace sorvina::engine {

std::optional<NothingFits> WhyNothingFits(const CandidatePool& pool, const DrawLimit& limit,
                                          bool freeSpace, const DrawReport& report) {
  if (limit.kind == DrawLimit::Kind::kNone) return std::nullopt;
  const SpaceAccount* space = limit.space;
  NothingFits why;
  why.inSeconds = limit.kind == DrawLimit::Kind::kSeconds;
  why.limit = limit.budget;
  why.freeSpace = freeSpace;
  why.fileAmount = report.firstMiss;
  std::int64_t least = report.smallestMiss;
  if (!why.inSeconds) {
    // Sizes are known without analysis: the files the draw did not reach count too.
    for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
      const std::int64_t size =
          space != nullptr ? space->MinimumFor(pool[i].sizeBytes) : pool[i].sizeBytes;
      if (least < 0 || size < least) least = size;
    }
  } else if (pool.count() > 0) {
    least = -1;  // durations not measured: the shortest is not known
  }
  if (least > why.limit) {
    why.smallestFile = true;
    why.fileAmount = least;
  }
  return why;
}

RunSummary SummaryOfChoice(const DrawnSongs& drawn, bool freeSpace) {
  RunSummary summary;
  summary.chosenFiles = drawn.chosen.size();
  if (drawn.chosen.empty())
    summary.nothingFits = WhyNothingFits(drawn.pool, drawn.limit, freeSpace, drawn.report);
  return summary;
}

std::vector<text::UserText> ActionsFor(const std::vector<Candidate>& chosen,
                                       SongConversions& conversions,
                                       std::optional<double> loudness) {
  std::vector<text::UserText> actions;
  actions.reserve(chosen.size());
  for (const Candidate& song : chosen) {
    if (const std::optional<media::ConversionParams> params = conversions.For(song)) {
      switch (params->codec) {
        case media::TargetCodec::kMp3:
          actions.emplace_back(SORVINA_TEXT("sorvina", "convert to MP3"));
          break;
        case media::TargetCodec::kAac:
          actions.emplace_back(SORVINA_TEXT("sorvina", "convert to AAC"));
          break;
        case media::TargetCodec::kOpus:
          actions.emplace_back(SORVINA_TEXT("sorvina", "convert to Opus"));
          break;
      }
      continue;
    }
    const media::FileType* type = media::TypeOfName(song.path).type;
    if (loudness && type != nullptr && type->format == media::AudioFormat::kMpeg) {
      actions.emplace_back(text::UserText(SORVINA_TEXT("sorvina", "bring to %1 LUFS"),
                                          {text::DecimalNumber{*loudness, 0}}));
    } else {
      actions.emplace_back(SORVINA_TEXT("sorvina", "copy"));
    }
  }
  return actions;
}

}  // namespace sorvina::engine
