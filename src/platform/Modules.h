// Loading modules (shared libraries) at run time by their Windows module names.
// "LAME_ENC.DLL" maps to "liblame_enc.so": the extension is dropped, the name is
// lower-cased and given the platform's prefix and suffix. The program's own folder
// is searched first, then ../lib/trackmill beside it (the installed layout), then
// the system's normal library search.
#pragma once

#include <string>
#include <vector>

namespace platform {

using ModuleHandle = void*;  // null = not loaded

// The platform file name for a Windows module name.
std::string ModuleFileName(const std::string& windowsName);
// Loads the module; null when it cannot be found or loaded.
ModuleHandle LoadModule(const std::string& windowsName);
// The address of an exported symbol, or null.
void* GetProcAddress(ModuleHandle module, const char* name);
void FreeModule(ModuleHandle module);

// Test seam: search these folders (instead of the program folder) and, when
// systemSearch is false, nothing else. An empty list restores the default.
void SetModuleSearchPath(const std::vector<std::string>& folders, bool systemSearch);

}  // namespace platform
