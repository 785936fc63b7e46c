// The binding of the converter's encoder module "DLL_ORVAM.dll". The program binds
// one at start, before any window or worker thread exists, and hands it to every
// converter engine it makes; it is only read afterwards and released when the
// program ends.
#pragma once

#include "orvam/Orvam.h"
#include "platform/Modules.h"

namespace convert {

class ConverterLibrary {
  public:
    ConverterLibrary() = default;
    // Releases the binding.
    ~ConverterLibrary();
    ConverterLibrary(const ConverterLibrary&) = delete;
    ConverterLibrary& operator=(const ConverterLibrary&) = delete;

    // Loads the module through the program's module search (its own folder first)
    // and looks up DLL_ORVAM_B, _A, _C and _D in that order; a missing entry point
    // stays null. Binding again first releases the previous binding. Must not run
    // while a conversion is going on.
    void Bind();
    // Frees the module once, if it was loaded, and clears the binding.
    void Release();

    platform::ModuleHandle module = nullptr;  // null when the module could not be loaded
    OrvamOpenFn open = nullptr;               // DLL_ORVAM_B
    OrvamVersionFn version = nullptr;         // DLL_ORVAM_A, looked up, never called
    OrvamChunkFn chunk = nullptr;             // DLL_ORVAM_C
    OrvamCloseFn close = nullptr;             // DLL_ORVAM_D
};

}  // namespace convert
