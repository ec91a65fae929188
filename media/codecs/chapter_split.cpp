// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/chapter_split.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "media/codecs/ffmpeg_support.h"
#include "media/tags/draw_tags.h"

namespace sorvina::media::codecs {
namespace {

// The containers a chapter table is read from; no other demuxer, and no protocol but
// files, is ever used on a file.
constexpr const char* kChapterContainers = "mov,mp3";

// A chapter's output: its container, opened on its file, and the first time stamp of its
// sound in the source's time base.
struct ChapterOutput {
  ffmpeg::OutputFormatPtr format;
  std::int64_t firstTimestamp = AV_NOPTS_VALUE;
  bool headerWritten = false;
};

void CloseOutput(ChapterOutput& output, bool finish, int& failure) {
  if (!output.format) return;
  AVFormatContext* format = output.format.get();
  if (finish && output.headerWritten && av_write_trailer(format) < 0 && failure == 0)
    failure = AVERROR(EIO);
  if (format->pb != nullptr && avio_closep(&format->pb) < 0 && failure == 0) failure = AVERROR(EIO);
  output.format.reset();
}

}  // namespace

std::string ChapterTableFault(const std::vector<ChapterMark>& chapters) {
  if (chapters.size() > kMostChapters)
    return std::to_string(chapters.size()) + " chapter marks, more than a book has (at most " +
           std::to_string(kMostChapters) + ")";
  double previousEnd = 0;
  for (std::size_t i = 0; i < chapters.size(); ++i) {
    const ChapterMark& chapter = chapters[i];
    const std::string which = "chapter " + std::to_string(i + 1);
    if (!std::isfinite(chapter.start) || !std::isfinite(chapter.end) || chapter.start < 0)
      return which + " has a negative or no start";
    if (chapter.end <= chapter.start) return which + " ends before it starts";
    if (chapter.start < previousEnd - 0.001) return which + " overlaps the one before it";
    previousEnd = chapter.end;
  }
  return {};
}

ChapterSplitResult SplitAtChapters(const std::string& source, const std::string& outputFolder,
                                   const std::atomic<bool>* cancel) {
  ChapterSplitResult result;
  ffmpeg::QuietLibraryMessages();
  AVFormatContext* opened = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kChapterContainers, 0);
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int status = avformat_open_input(&opened, source.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (status < 0) {
    result.reason = "not a file with chapters that can be read";
    return result;
  }
  const ffmpeg::InputFormatPtr input(opened);
  (void)avformat_find_stream_info(opened, nullptr);
  const int audio = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (audio < 0) {
    result.reason = "no audio in the file";
    return result;
  }
  // The table is looked at before anything is taken of it: a hostile one costs no more
  // than its count.
  if (opened->nb_chapters > kMostChapters) {
    result.reason = ChapterTableFault(std::vector<ChapterMark>(opened->nb_chapters));
    return result;
  }
  for (unsigned i = 0; i < opened->nb_chapters; ++i) {
    const AVChapter& chapter = *opened->chapters[i];
    ChapterMark mark;
    mark.start = static_cast<double>(chapter.start) * av_q2d(chapter.time_base);
    mark.end = static_cast<double>(chapter.end) * av_q2d(chapter.time_base);
    if (const AVDictionaryEntry* title = av_dict_get(chapter.metadata, "title", nullptr, 0))
      mark.title = CutToBytes(title->value, 200);
    result.chapters.push_back(std::move(mark));
  }
  if (std::string fault = ChapterTableFault(result.chapters); !fault.empty()) {
    result.chapters.clear();
    result.reason = std::move(fault);
    return result;
  }
  if (result.chapters.size() < 2 || outputFolder.empty()) {
    result.ok = true;
    return result;
  }

  AVStream* stream = opened->streams[audio];
  for (unsigned i = 0; i < opened->nb_streams; ++i)
    if (static_cast<int>(i) != audio) opened->streams[i]->discard = AVDISCARD_ALL;
  std::vector<std::string> written;
  int failure = 0;
  const auto fail = [&](std::string reason) {
    for (const std::string& path : written) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
    result.ok = false;
    result.reason = std::move(reason);
    return result;
  };
  ChapterOutput output;
  std::size_t current = 0;  // the chapter whose output is open, from 1; 0: none
  const ffmpeg::PacketPtr packet(av_packet_alloc());
  if (!packet) return fail("out of memory");
  while (av_read_frame(opened, packet.get()) >= 0) {
    if (cancel != nullptr && cancel->load()) {
      CloseOutput(output, false, failure);
      return fail("cancelled");
    }
    if (packet->stream_index != audio || packet->pts == AV_NOPTS_VALUE) {
      av_packet_unref(packet.get());
      continue;
    }
    const double at = static_cast<double>(packet->pts) * av_q2d(stream->time_base);
    // The chapter this packet starts in: the last whose start it has reached.
    std::size_t chapter = current == 0 ? 1 : current;
    while (chapter < result.chapters.size() && at >= result.chapters[chapter].start - 1e-6)
      ++chapter;
    if (chapter != current) {
      CloseOutput(output, true, failure);
      if (failure != 0) return fail("a chapter could not be written");
      current = chapter;
      const std::string path =
          (std::filesystem::path(outputFolder) / ChapterFileName(source, current)).string();
      AVFormatContext* made = nullptr;
      if (avformat_alloc_output_context2(&made, nullptr, nullptr, path.c_str()) < 0 ||
          made == nullptr)
        return fail("no container for the chapters");
      output.format.reset(made);
      output.firstTimestamp = packet->pts;
      AVStream* out = avformat_new_stream(made, nullptr);
      if (out == nullptr || avcodec_parameters_copy(out->codecpar, stream->codecpar) < 0)
        return fail("out of memory");
      out->codecpar->codec_tag = 0;
      out->time_base = stream->time_base;
      written.push_back(path);
      if (avio_open(&made->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
          avformat_write_header(made, nullptr) < 0) {
        CloseOutput(output, false, failure);
        return fail("a chapter could not be written");
      }
      output.headerWritten = true;
    }
    AVStream* out = output.format->streams[0];
    packet->stream_index = 0;
    packet->pts -= output.firstTimestamp;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts -= output.firstTimestamp;
    av_packet_rescale_ts(packet.get(), stream->time_base, out->time_base);
    packet->pos = -1;
    if (av_interleaved_write_frame(output.format.get(), packet.get()) < 0) {
      CloseOutput(output, false, failure);
      return fail("a chapter could not be written");
    }
  }
  CloseOutput(output, true, failure);
  if (failure != 0) return fail("a chapter could not be written");
  result.ok = true;
  return result;
}

}  // namespace sorvina::media::codecs
