// Control block of the fake converter module built from FakeOrvam.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FakeOrvamState {
    // What the module does.
    std::uint32_t e = 2304;   // values per chunk it reports
    int failAtChunk = -1;     // this chunk call (1-based) returns 0
    int throwAtChunk = -1;    // this chunk call (1-based) throws
    bool refuseOpen = false;  // the open call returns 0
    std::int32_t closeResult = 1;
    void (*onChunk)(void* arg) = nullptr;  // called at every chunk call
    void* onChunkArg = nullptr;
    // What it was asked to do.
    int opens = 0;
    int chunks = 0;
    int closes = 0;
    std::string target;
    std::int32_t bitRate = 0;
    std::int32_t channelMode = -1;
    std::int32_t sampleRate = 0;
    std::vector<std::uint32_t> chunkSizes;
    std::vector<std::int16_t> values;  // every value handed over, in order
};

// Exported by the fake module as "FakeOrvamControl".
using FakeOrvamControlFn = FakeOrvamState* (*)();
