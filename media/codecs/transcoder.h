// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <string>

#include "media/codecs.h"

namespace sorvina::media::codecs {

// media::Transcode as the helper program runs it, in this process: the same contract.
TranscodeResult Transcode(const std::string& source, const std::string& output,
                          const ConversionParams& params, const std::atomic<bool>* cancel);

}  // namespace sorvina::media::codecs
