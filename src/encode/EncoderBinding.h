// The binding of the MP3 encoder module found at run time: "LAME_ENC.DLL" or
// "BLADEENC.DLL" (platform file names liblame_enc.so, libbladeenc.so), both with
// the published be* entry points. The binding is process-wide and lives until the
// process ends; only a module that lacks a required entry point is released.
#pragma once

#include "lame_enc/BeEncoder.h"
#include "platform/Modules.h"

namespace encode {

inline constexpr int kEncoderNone = 0;
inline constexpr int kEncoderBlade = 1;
inline constexpr int kEncoderLame = 2;

// The six entry points in their fixed order; the first five are required.
struct EncoderEntries {
    BeInitStreamFn initStream = nullptr;
    BeEncodeChunkFn encodeChunk = nullptr;
    BeDeinitStreamFn deinitStream = nullptr;
    BeCloseStreamFn closeStream = nullptr;
    BeVersionFn version = nullptr;
    BeWriteVbrHeaderFn writeVbrHeader = nullptr;  // optional
};

// Loads what is missing, chooses an encoder (BladeEnc first) and fills the entry
// table. 1 when an encoder is bound, 0 otherwise.
int BindEncoder();
// Fills the entry table from the module of `type`. 1 on success; 0 for an unknown
// or unloaded type, or when a required entry point is missing (that module is
// then released and the table cleared).
int ResolveEncoder(int type);
// 1 when the LAME module must be given the plain MP3 record: no LAME module, no
// beVersion, encoder older than 3.54 or module older than 1.4. 0 otherwise.
int LameTooOld();

// The bound encoder type (kEncoderNone when none) and a copy of the entry table.
// The table only changes while BindEncoder or ResolveEncoder runs, which the
// program does before any rip starts.
int EncoderType();
EncoderEntries BoundEncoder();
platform::ModuleHandle BladeModule();
platform::ModuleHandle LameModule();

// Test seam: releases both modules and returns the binding to its state at start.
void ResetEncoderBindingForTesting();

}  // namespace encode
