#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>

namespace platform {

namespace {
std::mutex g_exeMutex;
std::string g_exeOverride;
}  // namespace

std::string ExecutablePath() {
    {
        std::lock_guard<std::mutex> guard(g_exeMutex);
        if (!g_exeOverride.empty()) return g_exeOverride;
    }
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string ExecutableFolder() {
    std::string path = ExecutablePath();
    const auto pos = path.find_last_of(kPathSeparator);
    if (pos == std::string::npos) return {};
    path.resize(pos);
    return path;
}

void SetExecutablePathForTesting(const std::string& path) {
    std::lock_guard<std::mutex> guard(g_exeMutex);
    g_exeOverride = path;
}

namespace {
// The MUSIC entry of ~/.config/user-dirs.dirs, with $HOME expanded; empty if none.
std::string XdgMusicFolder(const std::string& home) {
    const std::string config = ConfigHomeFolder();
    if (config.empty()) return {};
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_MUSIC_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        return value;
    }
    return {};
}
}  // namespace

std::string DefaultMusicFolder() {
#ifdef _WIN32
    return "C:\\My Music\\";
#else
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv ? homeEnv : "";
    std::string folder = XdgMusicFolder(home);
    if (folder.empty()) folder = home + "/Music";
    if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
    return folder;
#endif
}

std::string ConfigHomeFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && configHome[0] == '/') return configHome;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    std::string folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder == "/" ? "/.config" : folder + "/.config";
}

bool CreatePrivateFolderPath(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && IsPathSeparator(p.back())) p.pop_back();
    if (p.empty()) return false;
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const auto slash = p.find_last_of(kPathSeparator);
    if (slash != std::string::npos && slash > 0 && !CreatePrivateFolderPath(p.substr(0, slash)))
        return false;
    // Another process may make it meanwhile: what counts is that it is a folder now.
    if (::mkdir(p.c_str(), 0700) == 0) return true;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && IsPathSeparator(p.back())) p.pop_back();
    return ::mkdir(p.c_str(), 0777) == 0;
}

}  // namespace platform
