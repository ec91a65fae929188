// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/convert/conversion_cache.h"
#include "engine/convert/loudness_memo.h"
#include "engine/draw/candidate_pool.h"
#include "engine/draw/weighted_draw.h"
#include "engine/player/player_profile.h"
#include "engine/report/run_ports.h"
#include "engine/report/run_summary.h"
#include "engine/settings/conversion_choice.h"
#include "media/codecs.h"
#include "media/mp3_info.h"

namespace sorvina::engine {

// Which chosen songs a fill converts, and how: those the choice names (none without one),
// and MP3s over the player's bitrate or of a sample rate it does not play, with the
// player's limits and `bitrateKbps` (0: the codec's own quality). With a `loudness`
// target, each song converted is brought to it in the encoding, and each MP3 that goes as
// it is gets the change on its copy in steps of 1.5 dB, without decoding; other songs go
// as they are, byte for byte. Where the player shows pictures of a largest size, each MP3
// that goes as it is with a larger cover gets a copy with it scaled down (or without it,
// for 0), its audio frames as they are. `memo` keeps the songs' loudness between runs.
class SongConversions {
 public:
  SongConversions(std::optional<ConversionChoice> choice, int bitrateKbps,
                  std::optional<double> loudness, const PlayerProfile& player,
                  const ConversionCache& cache, LoudnessMemo& memo);

  // Whether any song may be converted (a choice was made).
  bool converts() const { return choice_.has_value(); }
  // Whether all that changes a song is its covers: no song is converted or made louder.
  bool onlyFitsCovers() const { return !choice_ && !loudness_; }

  // The conversion `candidate` needs; nothing when it goes as it is.
  std::optional<media::ConversionParams> For(const Candidate& candidate);

  // The file name ending of the song on the player: the converted format's, or none
  // (empty) for a song that goes as it is.
  std::string ExtensionFor(const Candidate& candidate);

  // What `candidate` will take before its conversion is known: the converted size where
  // the cache holds it, else an estimate that its sound will not exceed (a cover may add
  // to it); its own size when it goes as it is.
  std::int64_t PlannedSize(const Candidate& candidate);
  // Whether PlannedSize is an estimate: the song is converted, and not yet.
  bool Estimated(const Candidate& candidate);

  // From now on PlannedSize estimates what a song not converted yet takes on the low side:
  // for finding the songs worth converting to fill what the careful estimates left.
  void EstimateLow() { low_ = true; }

  // Converts the songs of `chosen` that need it on `jobs` threads, in their order, into
  // the cache, showing progress through `ports`: for each song, the converted file, or
  // nothing where it goes as it is. False when the user cancelled (the encoders stop and
  // leave no file). A song that cannot be converted is told as a warning, and has no
  // converted file and a reason.
  bool ConvertAll(const std::vector<Candidate>& chosen, int jobs, RunPorts& ports,
                  std::vector<std::optional<ConvertedSong>>& converted);

  // Songs encoded by this run, and found converted already (MP3s made louder or softer
  // count as neither).
  std::size_t encoded() const { return encoded_; }
  std::size_t fromCache() const { return fromCache_; }
  // Of those, the songs converted because the player could not take them as they were,
  // by reason (not played, over its bitrate, a sample rate it does not play).
  // Of `songs`, those converted because the player could not take them as they were, by
  // reason (not played, over its bitrate, a sample rate it does not play).
  std::vector<LeftOutFiles> ConvertedFor(const std::vector<Candidate>& songs);
  // Of `songs`, the MP3s that go as they are but with their covers made smaller.
  std::size_t CoversFitted(const std::vector<Candidate>& songs);

 private:
  // An MP3 that goes as it is but is brought to the loudness target.
  bool GainOnly(const Candidate& candidate);
  // An MP3 that goes as it is, to a player with a largest picture size.
  bool MayFitCover(const Candidate& candidate);
  // That size, where the MP3 carries a larger cover.
  std::optional<int> CoverSideFor(const Candidate& candidate);
  ConvertedSong CopyOf(const Candidate& candidate, int steps, const std::atomic<bool>& cancel);
  ConvertedSong Process(const Candidate& candidate, const std::atomic<bool>& cancel);

  const std::optional<ConversionChoice> choice_;
  const std::optional<double> loudness_;
  LoudnessMemo& memo_;
  media::ConversionParams params_;
  const PlayerProfile player_;  // a copy: the encoders' threads ask it, whoever made it
  const ConversionCache& cache_;
  // What is learnt of each song, once: the encoders ask too, from their threads.
  std::mutex mutex_;
  std::unordered_map<std::string, bool> needs_;            // by path, once decided
  std::unordered_map<std::string, LeftOutFiles> why_;      // by path: the player's refusal
  std::unordered_map<std::string, std::int64_t> seconds_;  // by path
  bool low_ = false;
  media::Mp3Info mp3_;
  std::size_t encoded_ = 0;
  std::size_t fromCache_ = 0;
  std::unordered_set<std::string> madeForPlayer_;  // converted for the player's sake
  std::unordered_set<std::string> fittedCovers_;
};

// Charges a song to be converted what it will take when converted (PlannedSize), on
// `inner` where given (the destination's space), else by its size alone. The least any
// song takes is not known before its conversion, so a draw over such a pool never ends
// early for want of a small enough song.
class ConvertedSpace : public SpaceAccount {
 public:
  ConvertedSpace(SongConversions& conversions, SpaceAccount* inner)
      : conversions_(conversions), inner_(inner) {}
  std::int64_t CostOf(const Candidate& candidate) const override;
  std::int64_t MinimumFor(std::int64_t sizeBytes) const override;
  void Chosen(const Candidate& candidate) override;

  // What a song charged at `plannedBytes` gives back once it takes `realBytes`.
  std::int64_t Refund(std::int64_t plannedBytes, std::int64_t realBytes) const;

  // The songs found too large since the last call only by their estimated conversion:
  // once the conversions of the songs chosen meanwhile have given some of their estimates
  // back, they may fit.
  std::vector<Candidate> TakeEstimatedMisfits();

 private:
  Candidate Planned(const Candidate& candidate) const;

  SongConversions& conversions_;  // learns each song's size as it is asked
  SpaceAccount* inner_;
  mutable std::vector<Candidate> asked_;  // costed since TakeEstimatedMisfits, not chosen yet
};

}  // namespace sorvina::engine
