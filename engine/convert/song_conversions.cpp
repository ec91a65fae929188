// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/song_conversions.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/report/summary_line.h"
#include "media/file_types.h"
#include "media/loudness.h"
#include "media/mp3_gain.h"
#include "media/tags/fitted_pictures.h"
#include "media/track_probe.h"

namespace sorvina::engine {
namespace {

// How long the progress display waits at most between two looks, while no song is done.
constexpr auto kPumpInterval = std::chrono::milliseconds(50);

// The type a converted song has, by the name types go by.
std::string_view TypeNameOf(media::TargetCodec codec) {
  switch (codec) {
    case media::TargetCodec::kAac:
      return "m4a";
    case media::TargetCodec::kOpus:
      return "opus";
    case media::TargetCodec::kMp3:
      break;
  }
  return "mp3";
}

}  // namespace

SongConversions::SongConversions(std::optional<ConversionChoice> choice, int bitrateKbps,
                                 std::optional<double> loudness, const PlayerProfile& player,
                                 const ConversionCache& cache, LoudnessMemo& memo)
    : choice_(choice), loudness_(loudness), memo_(memo), player_(player), cache_(cache) {
  params_.codec = choice ? choice->codec : media::TargetCodec::kMp3;
  if (bitrateKbps > 0) params_.bitrateKbps = bitrateKbps;
  const PlayerLimits& limits = player.limits;
  params_.maxBitrateKbps = limits.maxBitrate;
  params_.sampleRates = limits.sampleRates;
  params_.id3v23 = limits.id3v23;
  params_.maxPictureSide = limits.maxPictureSide;
}

std::optional<media::ConversionParams> SongConversions::For(const Candidate& candidate) {
  if (!choice_) return std::nullopt;
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto known = needs_.find(candidate.path);
  if (known != needs_.end()) return known->second ? std::optional(params_) : std::nullopt;
  const media::FileType* type = media::TypeOfName(candidate.path).type;
  bool needs = choice_->onlyUnplayable
                   ? type != nullptr && !PlaysFileType(player_, type->name)
                   : type == nullptr || type->name != TypeNameOf(choice_->codec);
  if (needs && choice_->onlyUnplayable) {
    std::string shown(type->name);
    std::transform(shown.begin(), shown.end(), shown.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    why_[candidate.path] = {LeftOutFiles::Reason::kNotPlayed, shown, 0, 1};
  }
  // An MP3 the player refuses for its bitrate or sample rate is encoded again.
  const PlayerLimits& limits = player_.limits;
  if (!needs && (type == nullptr || type->format == media::AudioFormat::kMpeg) &&
      (limits.maxBitrate || !limits.sampleRates.empty()) &&
      mp3_.Open(candidate.path, std::max<std::int64_t>(candidate.sizeBytes, 0)) ==
          media::Mp3Info::Status::kOk) {
    const int bitrate = mp3_.GetStreamBitrate();
    const auto& rates = limits.sampleRates;
    if (limits.maxBitrate && bitrate > *limits.maxBitrate) {
      needs = true;
      why_[candidate.path] = {LeftOutFiles::Reason::kBitrate, {}, *limits.maxBitrate, 1};
    } else if (!rates.empty() &&
               std::find(rates.begin(), rates.end(), mp3_.GetSampleRate()) == rates.end()) {
      needs = true;
      why_[candidate.path] = {LeftOutFiles::Reason::kSampleRate, {}, 0, 1};
    }
  }
  needs_.emplace(candidate.path, needs);
  return needs ? std::optional(params_) : std::nullopt;
}

std::string SongConversions::ExtensionFor(const Candidate& candidate) {
  return For(candidate) ? std::string(media::TargetExtension(params_.codec)) : std::string();
}

std::int64_t SongConversions::PlannedSize(const Candidate& candidate) {
  const std::optional<media::ConversionParams> params = For(candidate);
  if (!params) return candidate.sizeBytes;
  if (const std::optional<std::string> name = cache_.EntryName(candidate.path, *params))
    if (const std::optional<CachedSong> cached = cache_.Find(*name)) return cached->sizeBytes;
  std::int64_t seconds = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto known = seconds_.find(candidate.path);
    if (known != seconds_.end()) {
      seconds = known->second;
    } else {
      media::TrackProbe probe;
      seconds = probe.Seconds(candidate.path, std::max<std::int64_t>(candidate.sizeBytes, 0));
      seconds_.emplace(candidate.path, seconds);
    }
  }
  // The estimate leaves out the cover, which most songs carry small or not at all: a
  // song that turns out larger than its estimate is not copied (ConvertAndTopUp), which
  // keeps the fill exact, while a cover allowance on every song would leave much room
  // unused. A song whose length cannot be read is charged its own size; its conversion
  // will most likely fail and leave it out.
  media::ConversionParams withoutCover = *params;
  withoutCover.maxPictureSide = 0;
  if (seconds <= 0) return std::max<std::int64_t>(candidate.sizeBytes, 0);
  if (low_) {
    // Variable bitrates go well below their aim on simple sound; 48 kbit/s is about the
    // least that music takes at the usual qualities.
    constexpr double kLowKbps = 48;
    return static_cast<std::int64_t>(static_cast<double>(seconds) * kLowKbps * 1000 / 8);
  }
  return media::EstimatedBytes(static_cast<double>(seconds) + 1.0, withoutCover);
}

bool SongConversions::Estimated(const Candidate& candidate) {
  const std::optional<media::ConversionParams> params = For(candidate);
  if (!params) return false;
  const std::optional<std::string> name = cache_.EntryName(candidate.path, *params);
  return !name || !cache_.Find(*name);
}

bool SongConversions::GainOnly(const Candidate& candidate) {
  if (!loudness_ || For(candidate)) return false;
  const media::FileType* type = media::TypeOfName(candidate.path).type;
  return type != nullptr && type->format == media::AudioFormat::kMpeg;
}

bool SongConversions::MayFitCover(const Candidate& candidate) {
  if (!player_.limits.maxPictureSide || For(candidate)) return false;
  const media::FileType* type = media::TypeOfName(candidate.path).type;
  return type != nullptr && type->format == media::AudioFormat::kMpeg;
}

std::optional<int> SongConversions::CoverSideFor(const Candidate& candidate) {
  if (!MayFitCover(candidate)) return std::nullopt;
  const int side = *player_.limits.maxPictureSide;
  if (!media::HasPictureBeyond(candidate.path, side)) return std::nullopt;
  return side;
}

// The copy of an MP3 that goes as it is: made louder or softer by `steps`, and with its
// covers fitted to the player, in one file where both apply. Where one of the two cannot
// be done, the other still is, and the reason of the one left undone is kept: `reason`
// for the loudness, `coverReason` for the covers. Nothing to do, nothing is made.
ConvertedSong SongConversions::CopyOf(const Candidate& candidate, int steps,
                                      const std::atomic<bool>& cancel) {
  const std::optional<int> side = CoverSideFor(candidate);
  if (!side) return steps == 0 ? ConvertedSong{} : cache_.GainCopy(candidate.path, steps);
  ConvertedSong copy = cache_.CoverCopy(candidate.path, steps, *side, &cancel);
  if (copy.song || cancel) return copy;
  if (copy.coverFailed || steps == 0) {
    ConvertedSong gained = steps == 0 ? ConvertedSong{} : cache_.GainCopy(candidate.path, steps);
    gained.coverReason = std::move(copy.reason);
    return gained;
  }
  ConvertedSong fitted = cache_.CoverCopy(candidate.path, 0, *side, &cancel);
  if (!fitted.song) fitted.coverReason = std::move(fitted.reason);
  fitted.reason = std::move(copy.reason);
  return fitted;
}

ConvertedSong SongConversions::Process(const Candidate& candidate,
                                       const std::atomic<bool>& cancel) {
  std::optional<media::ConversionParams> params = For(candidate);
  const std::optional<media::Loudness> loudness =
      loudness_ ? memo_.Of(candidate.path, &cancel) : std::nullopt;
  // To a hundredth of a decibel, as the memo keeps the figures: a song measured now and
  // one whose figure was kept get the same gain, and so the same cached conversion.
  const auto hundredths = [](double value) { return std::round(value * 100) / 100; };
  const double gain = loudness ? hundredths(media::GainTo({hundredths(loudness->integratedLufs),
                                                           hundredths(loudness->truePeakDb)},
                                                          *loudness_))
                               : 0.0;
  if (params) {
    params->gainDb = gain;
    return cache_.Convert(candidate.path, *params, &cancel);
  }
  return CopyOf(candidate, media::Mp3GainSteps(gain), cancel);
}

bool SongConversions::ConvertAll(const std::vector<Candidate>& chosen, int jobs, RunPorts& ports,
                                 std::vector<std::optional<ConvertedSong>>& converted) {
  converted.assign(chosen.size(), std::nullopt);
  std::vector<std::size_t> toConvert;
  for (std::size_t i = 0; i < chosen.size(); ++i)
    if (For(chosen[i]) || GainOnly(chosen[i]) || MayFitCover(chosen[i])) toConvert.push_back(i);
  if (toConvert.empty()) return true;

  std::atomic<bool> cancel = false;
  std::atomic<std::size_t> next = 0;
  // The songs finished, counted under `doneMutex`: each one wakes the wait below.
  std::mutex doneMutex;
  std::condition_variable songDone;
  std::size_t done = 0;
  std::atomic<std::size_t> latest = chosen.size();  // the song begun last, shown by name
  const auto work = [&] {
    for (std::size_t k = next++; k < toConvert.size() && !cancel; k = next++) {
      const std::size_t i = toConvert[k];
      latest = i;
      converted[i] = Process(chosen[i], cancel);
      {
        const std::lock_guard<std::mutex> lock(doneMutex);
        ++done;
      }
      songDone.notify_one();
    }
  };
  const unsigned threads = std::clamp<unsigned>(
      jobs > 0 ? static_cast<unsigned>(jobs) : std::max(1u, std::thread::hardware_concurrency()), 1,
      static_cast<unsigned>(toConvert.size()));
  std::vector<std::jthread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back(work);
  {
    const std::unique_ptr<ProgressPort> progress =
        ports.OpenProgress({SORVINA_TEXT("sorvina", "Converting songs for the player")});
    progress->SetRange(0, static_cast<int>(toConvert.size()));
    // Shows each song as it is done, and in between keeps the display answering (painting,
    // Cancel) while an encoder works on; the last song done ends the wait at once.
    std::unique_lock<std::mutex> lock(doneMutex);
    while (true) {
      const std::size_t seen = done;
      lock.unlock();
      if (const std::size_t shown = latest; shown < chosen.size())
        progress->SetLabel(
            text::Verbatim(chosen[shown].path.substr(chosen[shown].path.rfind('/') + 1)));
      progress->SetPosition(static_cast<int>(seen));
      if (progress->PumpAndCheckCancel()) {
        cancel = true;
        break;
      }
      if (seen == toConvert.size()) break;
      lock.lock();
      songDone.wait_for(lock, kPumpInterval, [&] { return done != seen; });
    }
  }
  workers.clear();  // joins: the encoders stop at once once cancelled
  if (cancel) return false;
  for (const std::size_t i : toConvert) {
    const ConvertedSong& song = *converted[i];
    if (!For(chosen[i])) {
      // An MP3 the loudness could not be changed on goes as it is, and so does one whose
      // cover could not be fitted; either may still have the other done.
      if (!song.reason.empty()) {
        ports.ShowWarning({SORVINA_TEXT("sorvina", "Copied at its own loudness: %1 (%2)"),
                           {chosen[i].path, song.reason}});
      }
      if (!song.coverReason.empty()) {
        ports.ShowWarning({SORVINA_TEXT("sorvina", "Copied with its cover as it is: %1 (%2)"),
                           {chosen[i].path, song.coverReason}});
      }
      if (song.song && song.coverReason.empty() && CoverSideFor(chosen[i])) {
        const std::lock_guard<std::mutex> lock(mutex_);
        fittedCovers_.insert(chosen[i].path);
      }
      if (!song.song) converted[i].reset();
      continue;
    }
    if (!song.song && song.earlyEnd) {
      // What decodes is counted in whole seconds, which play; the length as stated.
      ports.ShowWarning(
          {SORVINA_TEXT("sorvina", "Left out, the file ends early: %1 (only %2 of %3 decode)"),
           {chosen[i].path,
            DurationText(static_cast<std::int64_t>(std::floor(song.earlyEnd->decodedSeconds))),
            DurationText(std::llround(song.earlyEnd->statedSeconds))}});
    } else if (!song.song) {
      ports.ShowWarning({SORVINA_TEXT("sorvina", "Not converted, left out: %1 (%2)"),
                         {chosen[i].path, song.reason}});
    } else {
      ++(song.fromCache ? fromCache_ : encoded_);
      const std::lock_guard<std::mutex> lock(mutex_);
      madeForPlayer_.insert(chosen[i].path);
    }
  }
  return true;
}

std::vector<LeftOutFiles> SongConversions::ConvertedFor(const std::vector<Candidate>& songs) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LeftOutFiles> reasons;
  for (const Candidate& song : songs) {
    const auto why = why_.find(song.path);
    if (why == why_.end() || !madeForPlayer_.contains(song.path)) continue;
    const LeftOutFiles& reason = why->second;
    const auto same = std::find_if(reasons.begin(), reasons.end(), [&](const auto& files) {
      return files.reason == reason.reason && files.type == reason.type;
    });
    if (same != reasons.end()) {
      ++same->count;
    } else {
      reasons.push_back(reason);
    }
  }
  return reasons;
}

std::size_t SongConversions::CoversFitted(const std::vector<Candidate>& songs) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(songs.begin(), songs.end(),
                    [this](const auto& song) { return fittedCovers_.contains(song.path); }));
}

Candidate ConvertedSpace::Planned(const Candidate& candidate) const {
  Candidate planned = candidate;
  planned.sizeBytes = conversions_.PlannedSize(candidate);
  return planned;
}

std::int64_t ConvertedSpace::CostOf(const Candidate& candidate) const {
  asked_.push_back(candidate);
  const Candidate planned = Planned(candidate);
  return inner_ != nullptr ? inner_->CostOf(planned) : planned.sizeBytes;
}

std::int64_t ConvertedSpace::MinimumFor(std::int64_t /*sizeBytes*/) const {
  return inner_ != nullptr ? inner_->MinimumFor(0) : 0;
}

void ConvertedSpace::Chosen(const Candidate& candidate) {
  if (!asked_.empty() && asked_.back().path == candidate.path) asked_.pop_back();
  if (inner_ != nullptr) inner_->Chosen(Planned(candidate));
}

std::vector<Candidate> ConvertedSpace::TakeEstimatedMisfits() {
  std::vector<Candidate> misfits;
  for (Candidate& candidate : asked_)
    if (conversions_.Estimated(candidate)) misfits.push_back(std::move(candidate));
  asked_.clear();
  return misfits;
}

std::int64_t ConvertedSpace::Refund(std::int64_t plannedBytes, std::int64_t realBytes) const {
  if (inner_ == nullptr) return plannedBytes - realBytes;
  return inner_->MinimumFor(plannedBytes) - inner_->MinimumFor(realBytes);
}

}  // namespace sorvina::engine
