#include "encode/EncoderBinding.h"

#include <cstring>
#include <mutex>

namespace encode {

namespace {

struct Binding {
    platform::ModuleHandle blade = nullptr;
    platform::ModuleHandle lame = nullptr;
    int type = kEncoderNone;
    EncoderEntries entries;
};

std::recursive_mutex g_mutex;  // BindEncoder calls ResolveEncoder under it
Binding g_binding;

platform::ModuleHandle& ModuleOf(int type) {
    return type == kEncoderBlade ? g_binding.blade : g_binding.lame;
}

template <class Fn>
Fn Lookup(platform::ModuleHandle module, const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(module, name));
}

}  // namespace

int ResolveEncoder(int type) {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    if (type != kEncoderBlade && type != kEncoderLame) return 0;
    platform::ModuleHandle& module = ModuleOf(type);
    if (!module) return 0;
    EncoderEntries& e = g_binding.entries;
    e.initStream = Lookup<BeInitStreamFn>(module, "beInitStream");
    e.encodeChunk = Lookup<BeEncodeChunkFn>(module, "beEncodeChunk");
    e.deinitStream = Lookup<BeDeinitStreamFn>(module, "beDeinitStream");
    e.closeStream = Lookup<BeCloseStreamFn>(module, "beCloseStream");
    e.version = Lookup<BeVersionFn>(module, "beVersion");
    e.writeVbrHeader = Lookup<BeWriteVbrHeaderFn>(module, "beWriteVBRHeader");
    if (e.initStream && e.encodeChunk && e.deinitStream && e.closeStream && e.version) return 1;
    platform::ModuleHandle released = module;
    module = nullptr;
    e = EncoderEntries{};
    platform::FreeModule(released);
    return 0;
}

int BindEncoder() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    Binding& b = g_binding;
    if (b.blade && b.lame) return 1;
    if (b.blade) {
        b.lame = platform::LoadModule("LAME_ENC.DLL");
    } else if (b.lame) {
        b.blade = platform::LoadModule("BLADEENC.DLL");
    } else {
        b.lame = platform::LoadModule("LAME_ENC.DLL");
        b.blade = platform::LoadModule("BLADEENC.DLL");
    }
    ResolveEncoder(kEncoderBlade);
    if (!b.blade && !b.lame) return 0;
    if (b.type != kEncoderNone && ResolveEncoder(b.type)) return 1;
    b.type = b.blade ? kEncoderBlade : (b.lame ? kEncoderLame : kEncoderBlade);
    if (ResolveEncoder(b.type)) return 1;
    b.type = kEncoderNone;
    return 0;
}

int LameTooOld() {
    platform::ModuleHandle lame;
    {
        std::lock_guard<std::recursive_mutex> guard(g_mutex);
        lame = g_binding.lame;
    }
    if (!lame) return 1;
    BeVersion v;
    std::memset(&v, 0, sizeof v);
    if (auto fn = Lookup<BeVersionFn>(lame, "beVersion")) fn(&v);
    if (v.encoderMajor * 256 + v.encoderMinor < 822) return 1;  // before 3.54
    if (v.moduleMajor * 256 + v.moduleMinor < 260) return 1;    // before 1.4
    return 0;
}

int EncoderType() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    return g_binding.type;
}

EncoderEntries BoundEncoder() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    return g_binding.entries;
}

platform::ModuleHandle BladeModule() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    return g_binding.blade;
}

platform::ModuleHandle LameModule() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    return g_binding.lame;
}

void ResetEncoderBindingForTesting() {
    std::lock_guard<std::recursive_mutex> guard(g_mutex);
    platform::FreeModule(g_binding.blade);
    platform::FreeModule(g_binding.lame);
    g_binding = Binding{};
}

}  // namespace encode
