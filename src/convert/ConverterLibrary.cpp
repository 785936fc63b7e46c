#include "convert/ConverterLibrary.h"

namespace convert {

namespace {
template <typename Fn>
Fn Lookup(platform::ModuleHandle module, const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(module, name));
}
}  // namespace

ConverterLibrary::~ConverterLibrary() {
    Release();
}

void ConverterLibrary::Bind() {
    Release();
    module = platform::LoadModule("DLL_ORVAM.dll");
    if (!module) return;
    open = Lookup<OrvamOpenFn>(module, "DLL_ORVAM_B");
    version = Lookup<OrvamVersionFn>(module, "DLL_ORVAM_A");
    chunk = Lookup<OrvamChunkFn>(module, "DLL_ORVAM_C");
    close = Lookup<OrvamCloseFn>(module, "DLL_ORVAM_D");
}

void ConverterLibrary::Release() {
    if (module) platform::FreeModule(module);
    module = nullptr;
    open = nullptr;
    version = nullptr;
    chunk = nullptr;
    close = nullptr;
}

}  // namespace convert
