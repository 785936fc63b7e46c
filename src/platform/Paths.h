// Where the program lives and how paths are spelled on this platform.
#pragma once

#include <string>

namespace platform {

// The path separator: '\' on Windows, '/' elsewhere. Every literal path piece
// the program builds (".\", a folder's trailing separator) uses it.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// The running executable's full path.
std::string ExecutablePath();
// The executable's folder, without a trailing separator.
std::string ExecutableFolder();
// Test seam: pretend the executable is at this path (empty restores the real one).
void SetExecutablePathForTesting(const std::string& path);

// The user's music folder with a trailing separator: "C:\My Music\" on Windows,
// the XDG MUSIC folder (else ~/Music) elsewhere.
std::string DefaultMusicFolder();

// Creates one folder level; false when it could not be created (for example
// because it exists).
bool CreateFolder(const std::string& path);

// The user's configuration folder without a trailing separator: $XDG_CONFIG_HOME
// when it is an absolute path, else $HOME/.config; empty when neither is known.
std::string ConfigHomeFolder();

// Creates the folder and every missing folder above it, each readable by the user
// only (mode 0700). True when the folder exists afterwards.
bool CreatePrivateFolderPath(const std::string& path);

}  // namespace platform
