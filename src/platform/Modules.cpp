#include "platform/Modules.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

#include "platform/Paths.h"

namespace platform {

namespace {
std::mutex g_searchMutex;
std::vector<std::string> g_folders;
bool g_systemSearch = true;

// The program's own folder (a build tree or a portable copy), then the installed
// layout's module folder beside it: <prefix>/bin/trackmill loads from
// <prefix>/lib/trackmill. The executable's folder has no symbolic links in it (it
// comes from the resolved executable path), so ".." can be removed by spelling alone.
std::vector<std::string> ProgramModuleFolders() {
    const std::string folder = ExecutableFolder();
    if (folder.empty()) return {};
    const std::filesystem::path installed = std::filesystem::path(folder) / "../lib/trackmill";
    return {folder, installed.lexically_normal().string()};
}
}  // namespace

std::string ModuleFileName(const std::string& windowsName) {
    std::string base = windowsName;
    const auto slash = base.find_last_of("/\\");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dll") == 0)
        base.resize(base.size() - 4);
    return "lib" + base + ".so";
}

ModuleHandle LoadModule(const std::string& windowsName) {
    const std::string file = ModuleFileName(windowsName);
    std::vector<std::string> folders;
    bool systemSearch;
    {
        std::lock_guard<std::mutex> guard(g_searchMutex);
        folders = g_folders.empty() ? ProgramModuleFolders() : g_folders;
        systemSearch = g_folders.empty() ? true : g_systemSearch;
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        const std::string path = folder + "/" + file;
        if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    }
    if (!systemSearch) return nullptr;
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(ModuleHandle module, const char* name) {
    if (!module || !name) return nullptr;
    return dlsym(module, name);
}

void FreeModule(ModuleHandle module) {
    if (module) dlclose(module);
}

void SetModuleSearchPath(const std::vector<std::string>& folders, bool systemSearch) {
    std::lock_guard<std::mutex> guard(g_searchMutex);
    g_folders = folders;
    g_systemSearch = systemSearch;
}

}  // namespace platform
