#include "convert/ConverterLibrary.h"

namespace convert {

namespace {
ConverterLibrary g_library;
bool g_bound = false;

template <typename Fn>
Fn Lookup(platform::ModuleHandle module, const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(module, name));
}
}  // namespace

void BindConverterLibrary() {
    ReleaseConverterLibrary();
    g_bound = true;
    g_library.module = platform::LoadModule("DLL_ORVAM.dll");
    if (!g_library.module) return;
    g_library.open = Lookup<OrvamOpenFn>(g_library.module, "DLL_ORVAM_B");
    g_library.version = Lookup<OrvamVersionFn>(g_library.module, "DLL_ORVAM_A");
    g_library.chunk = Lookup<OrvamChunkFn>(g_library.module, "DLL_ORVAM_C");
    g_library.close = Lookup<OrvamCloseFn>(g_library.module, "DLL_ORVAM_D");
}

void ReleaseConverterLibrary() {
    if (g_library.module) platform::FreeModule(g_library.module);
    g_library = ConverterLibrary{};
    g_bound = false;
}

bool IsConverterLibraryBound() {
    return g_bound;
}

const ConverterLibrary& ConverterLibraryBinding() {
    return g_library;
}

}  // namespace convert
