// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/read_only_file.h"

namespace sorvina::media {

class ByteSource;

// Works out the playing time of an MP3 file in whole seconds without decoding audio: the
// first valid frame header (ID3v2 tags skipped), a header in that frame that states the
// stream's frame count ("Xing", its constant-bitrate twin "Info", or "VBRI"), and whether
// an ID3v1 tag ends the file. A stream whose frames do not all carry the first frame's
// bitrate has its frames counted. One object serves a whole loop of files; it holds no
// file between calls, only a read buffer that it reuses.
class Mp3Info {
 public:
  // How an analysis ended, with the numbers it has always reported.
  enum class Status {
    kOk = 0,
    kCannotOpen = 2,  // the system could not give us a stream
    kNoFrame = 4,     // missing, unreadable, or no frame found
  };
  // The header in the first frame that states the frame count, if any.
  enum class CountHeader { kNone, kXing, kInfo, kVbri };
  // What the playing time rests on.
  enum class LengthSource {
    kNone,            // no frame was found: 0 seconds
    kFirstFrameRate,  // the audio bytes at the first frame's bitrate
    kStatedFrames,    // the frame count that the first frame states
    kCountedFrames,   // the frames counted by walking the stream
  };
  // Candidate positions beyond this offset are not tested, except the one right after
  // a tag.
  static constexpr std::int64_t kSearchLimit = 200 * 1024;

  // Whether Open also confirms the stream's frame sync (HasFrameSync). The playing time
  // does without it; a player refuses a file whose frames it cannot find.
  void SetConfirmFrameSync(bool confirm) { confirmSync_ = confirm; }

  // Analyses `path`; `knownSize` is its size in bytes when the caller holds it, or 0 to
  // have the file measured.
  Status Open(const std::string& path, std::int64_t knownSize);
  // The same for a file that the caller has opened (and keeps open).
  Status Open(const platform::ReadOnlyFile& file, std::int64_t knownSize);
  // Analyses `bytes` as the whole content of a file, with the very search and tests that
  // Open applies to a file; `knownSize` as for Open. Status::kOk or Status::kNoFrame.
  Status OpenBytes(std::span<const unsigned char> bytes, std::int64_t knownSize);

  // Whole seconds: frames times samples per frame over the sample rate, to the nearest
  // second, where the frames are stated or counted; else the audio bytes at the first
  // frame's bitrate, the fraction dropped. 0 after a failed Open.
  std::int64_t GetLengthSeconds() const;
  LengthSource GetLengthSource() const { return lengthSource_; }

  // The header test: sync bits set, no reserved version, layer, bitrate or sample rate,
  // no reserved emphasis.
  static bool IsValidHeader(std::uint32_t header);
  bool IsValidHeader() const { return IsValidHeader(header_); }
  // Bytes from a frame's header to the next frame's header, padding included; 0 for a
  // header that the header test refuses.
  static std::uint64_t FrameLength(std::uint32_t header);
  // kbit/s of the first frame; 0 for an index the header test refuses.
  int GetHeaderBitrate() const;
  // Hz of the first frame; 0 for the reserved version or index.
  int GetSampleRate() const;
  // Samples that one frame of the first frame's version and layer carries.
  int GetSamplesPerFrame() const;
  // Where Open confirms it: whether a frame is followed by another of its stream (or by
  // the end of the file), the first one found or one within the search limit after it.
  // A header found in other bytes (a picture, junk) is a chance match that no frame
  // follows. False after a failed Open, and where Open does not confirm it.
  bool HasFrameSync() const { return frameSync_; }
  // Which header the first frame carries.
  CountHeader GetCountHeader() const { return countHeader_; }
  // Frames stated by that header; -1 when there is none or it states no count.
  std::int64_t GetFrameCount() const { return statedFrames_; }
  // kbit/s over the audio data implied by the stated frame count; 0.0 without one.
  double GetAverageBitrate() const;
  // The kbit/s a player's bitrate limit is held against, judged from the frames: the first
  // frame's bitrate where the stream keeps to it (a constant-bitrate stream, with an
  // "Info" header or none), else the average of the audio frames, the stated (or counted)
  // frames over the stated bytes (or those the file holds), the frame that states them
  // left out. Tags and the header frame never count, so a short constant-bitrate file is
  // not taken for a faster one. 0 after a failed Open.
  int GetStreamBitrate() const;
  // Bytes stated by the Xing or VBRI header, that frame included; -1 where none is stated.
  std::int64_t GetStatedBytes() const { return statedBytes_; }
  // Frames the walk counted, with an estimate for what it left unread; -1 without a walk.
  double GetCountedFrames() const { return countedFrames_; }

  // What the last analysis found: the first frame's header, whether a Xing or Info header
  // (one layout) and an ID3v1 tag are there, the file size it used, where the first frame
  // starts and where the audio ends (before an ID3v1 tag).
  std::uint32_t GetHeader() const { return header_; }
  bool HasXingHeader() const {
    return countHeader_ == CountHeader::kXing || countHeader_ == CountHeader::kInfo;
  }
  bool HasId3v1Tag() const { return hasId3v1Tag_; }
  std::int64_t GetFileSize() const { return fileSize_; }
  std::int64_t GetFirstFrameOffset() const { return firstFrameOffset_; }
  std::int64_t GetAudioEnd() const { return audioEnd_; }

 private:
  void Reset();
  Status Analyse(const ByteSource& source, std::int64_t knownSize);

  std::uint32_t header_ = 0;
  CountHeader countHeader_ = CountHeader::kNone;
  std::int64_t statedFrames_ = -1;
  std::int64_t statedBytes_ = -1;
  double countedFrames_ = -1.0;
  bool hasId3v1Tag_ = false;
  std::int64_t fileSize_ = 0;
  std::int64_t firstFrameOffset_ = 0;
  std::int64_t audioEnd_ = 0;
  LengthSource lengthSource_ = LengthSource::kNone;
  bool confirmSync_ = false;
  bool frameSync_ = false;
  std::vector<unsigned char> buffer_;
};

}  // namespace sorvina::media
