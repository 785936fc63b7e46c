// MP3 output through the encoder module bound at start (EncoderBinding.h) and its
// be* entry points: the LAME form of the configuration record when a LAME module new
// enough is bound, the plain MP3 form otherwise; after the stream's tail, the VBR
// info tag is written into the finished file by the module.
#pragma once

#include <memory>

#include "encode/Encoder.h"

namespace encode {

// Whether an encoder module is bound.
bool Mp3Available();
// An encoder over the binding as it is now (null when no module is bound).
std::unique_ptr<Encoder> CreateMp3Encoder(const EncoderSettings& settings);

}  // namespace encode
