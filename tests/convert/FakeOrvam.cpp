// A stand-in for the converter's encoder module, for the engine's failure and
// resampling tests. It exports DLL_ORVAM_A..D with the real call shapes but encodes
// nothing: it records every call and every value handed over, and fails, throws or
// refuses when told to through FakeOrvamControl(). Built with FAKE_ORVAM_WITHOUT_CLOSE
// it lacks DLL_ORVAM_D. The tests select it by pointing the module search
// (platform::SetModuleSearchPath) at the folder it is built into and binding again.
#include <stdexcept>

#include "FakeOrvam.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
FakeOrvamState g_state;
}

FAKE_EXPORT FakeOrvamState* FakeOrvamControl() {
    return &g_state;
}

FAKE_EXPORT std::int32_t DLL_ORVAM_A() {
    return 1;
}

FAKE_EXPORT std::uint32_t DLL_ORVAM_B(const char* target, std::uint32_t* stream,
                                      std::int32_t bitRate, std::int32_t channelMode,
                                      std::int32_t sampleRate) {
    ++g_state.opens;
    g_state.target = target ? target : "";
    g_state.bitRate = bitRate;
    g_state.channelMode = channelMode;
    g_state.sampleRate = sampleRate;
    if (g_state.refuseOpen) return 0;
    *stream = 7;
    return g_state.e;
}

FAKE_EXPORT std::int32_t DLL_ORVAM_C(std::uint32_t stream, const std::int16_t* values,
                                     std::uint32_t count) {
    const int n = ++g_state.chunks;
    if (g_state.onChunk) g_state.onChunk(g_state.onChunkArg);
    if (stream != 7) return 0;
    if (n == g_state.failAtChunk) return 0;
    if (n == g_state.throwAtChunk) throw std::runtime_error("chunk refused");
    g_state.chunkSizes.push_back(count);
    g_state.values.insert(g_state.values.end(), values, values + count);
    return 1;
}

#ifndef FAKE_ORVAM_WITHOUT_CLOSE
FAKE_EXPORT std::int32_t DLL_ORVAM_D(std::uint32_t) {
    ++g_state.closes;
    return g_state.closeResult;
}
#endif
