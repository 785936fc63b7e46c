// Call shapes of the converter's encoder module DLL_ORVAM.dll (libdll_orvam.so here).
// The program loads the module at run time and looks these names up; nothing links
// against it directly. Sample values are signed 16-bit, interleaved left first.
#pragma once

#include <cstdint>

extern "C" {

// DLL_ORVAM_A: the module's interface version. Looked up by the program, never called.
using OrvamVersionFn = std::int32_t (*)();

// DLL_ORVAM_B: opens an MP3 stream into a new target file.
//   target      path of the file to create (replaced when it exists)
//   stream      filled with the stream handle; left at 0 on failure
//   bitRate     kbit/s, constant bit rate
//   channelMode 3 one channel, 1 joint stereo, 0 stereo, 2 dual channel
//   sampleRate  Hz of the values the chunk calls hand over
// Returns e, the number of 16-bit values the stream takes per chunk; 0 on failure.
using OrvamOpenFn = std::uint32_t (*)(const char* target, std::uint32_t* stream,
                                      std::int32_t bitRate, std::int32_t channelMode,
                                      std::int32_t sampleRate);

// DLL_ORVAM_C: encodes count interleaved values (at most e per call is the norm; more
// is accepted). Non-zero when taken; 0 on failure, after which the stream is already
// released and its handle invalid.
using OrvamChunkFn = std::int32_t (*)(std::uint32_t stream, const std::int16_t* values,
                                      std::uint32_t count);

// DLL_ORVAM_D: flushes the stream, writes the info tag into the first frame so the
// file shows its real duration, closes the file and releases the handle.
using OrvamCloseFn = std::int32_t (*)(std::uint32_t stream);

}  // extern "C"
