// FLAC output through libFLAC: the disc's exact samples (16-bit stereo at 44100 Hz;
// the rate and channel settings do not apply) at the "flac" setting's compression
// level. libFLAC's verify mode decodes every frame as it is made and compares it with
// the input, and STREAMINFO is completed at the end (total samples, MD5 of the audio)
// by seeking back to the start of the file, so a stopped track is a valid file of the
// audio so far.
#pragma once

#include <memory>

#include "encode/Encoder.h"

namespace encode {

std::unique_ptr<Encoder> CreateFlacEncoder(const EncoderSettings& settings);

}  // namespace encode
