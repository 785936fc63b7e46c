// The process-wide binding of the converter's encoder module "DLL_ORVAM.dll". It is
// made once at program start, before any window or worker thread exists, and only
// read afterwards; it is released when the program ends.
#pragma once

#include "orvam/Orvam.h"
#include "platform/Modules.h"

namespace convert {

struct ConverterLibrary {
    platform::ModuleHandle module = nullptr;  // null when the module could not be loaded
    OrvamOpenFn open = nullptr;               // DLL_ORVAM_B
    OrvamVersionFn version = nullptr;         // DLL_ORVAM_A, looked up, never called
    OrvamChunkFn chunk = nullptr;             // DLL_ORVAM_C
    OrvamCloseFn close = nullptr;             // DLL_ORVAM_D
};

// Loads the module through the program's module search (its own folder first) and
// looks up DLL_ORVAM_B, _A, _C and _D in that order; a missing entry point stays
// null. Binding again first releases the previous binding (tests rebind after
// changing the module search path). Must not run while a conversion is going on.
void BindConverterLibrary();
// Frees the module once, if it was loaded, and clears the binding.
void ReleaseConverterLibrary();
// True once BindConverterLibrary has run (whether or not the module was found).
bool IsConverterLibraryBound();
// The current binding.
const ConverterLibrary& ConverterLibraryBinding();

}  // namespace convert
