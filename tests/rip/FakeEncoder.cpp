// A fake MP3 encoder module with the be* entry points, built in several variants
// (see CMakeLists.txt) to exercise the binding rules: which module is bound, which
// entry points are required, and which configuration record a LAME module of a
// given version receives. It encodes nothing: every chunk yields no output bytes.
//
// Compile-time settings:
//   FAKE_ID           text answered by fakeEncoderId(), to tell the variants apart
//   FAKE_ENC_MAJOR/MINOR, FAKE_LIB_MAJOR/MINOR   the versions beVersion reports
//   FAKE_NO_CLOSE     leave out beCloseStream
//   FAKE_INIT_FAILS   beInitStream refuses every record
#include <cstring>

#include "lame_enc/BeEncoder.h"

namespace {
std::uint32_t g_lastKind = 0xFFFFFFFFu;
int g_openStreams = 0;
}  // namespace

BE_API const char* fakeEncoderId() {
    return FAKE_ID;
}
// The kind field of the last record given to beInitStream (0xFFFFFFFF: none yet).
BE_API std::uint32_t fakeLastConfigKind() {
    return g_lastKind;
}
BE_API int fakeOpenStreams() {
    return g_openStreams;
}

BE_API BeErr beInitStream(BeConfig* config, std::uint32_t* samples, std::uint32_t* bufferSize,
                          BeStream* stream) {
    g_lastKind = config->kind;
#ifdef FAKE_INIT_FAILS
    (void)samples;
    (void)bufferSize;
    (void)stream;
    return kBeInvalidFormatParameters;
#else
    *samples = 2304;
    *bufferSize = 8640;
    *stream = 1;
    ++g_openStreams;
    return kBeOk;
#endif
}

BE_API BeErr beEncodeChunk(BeStream, std::uint32_t, const std::int16_t*, std::uint8_t*,
                           std::uint32_t* outputLength) {
    *outputLength = 0;
    return kBeOk;
}

BE_API BeErr beDeinitStream(BeStream, std::uint8_t*, std::uint32_t* outputLength) {
    *outputLength = 0;
    return kBeOk;
}

#ifndef FAKE_NO_CLOSE
BE_API BeErr beCloseStream(BeStream) {
    --g_openStreams;
    return kBeOk;
}
#endif

BE_API void beVersion(BeVersion* v) {
    v->moduleMajor = FAKE_LIB_MAJOR;
    v->moduleMinor = FAKE_LIB_MINOR;
    v->encoderMajor = FAKE_ENC_MAJOR;
    v->encoderMinor = FAKE_ENC_MINOR;
}
