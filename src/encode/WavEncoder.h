// WAV output: the disc's samples as they are, behind the 44-byte header (WavHeader.h),
// written first with a length of 0 and rewritten with the real length at the end, so a
// stopped track is a valid file of the audio so far.
#pragma once

#include <memory>

#include "encode/Encoder.h"

namespace encode {

std::unique_ptr<Encoder> CreateWavEncoder(const EncoderSettings& settings);

}  // namespace encode
