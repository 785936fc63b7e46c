// Files written under a working name of their own and given their final name only
// when they are worth keeping. Two runs writing the same final name never share a
// working file, a file another run finished meanwhile is never replaced, and a partial
// result never replaces a complete file that was there before.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

struct WorkFile {
    std::string finalPath;
    std::string workPath;  // "<final>.part", or "<final>.<n>.part" when that one is taken
    // The file under the final name when the work began (its device and inode; both 0
    // when there was none): the only file the result may replace.
    std::uint64_t device = 0, inode = 0;
};

// Creates a working file for `finalPath` exclusively (never an existing one) and opens
// it for writing and reading. Returns null with the system's reason when it cannot.
std::FILE* CreateWorkFile(const std::string& finalPath, WorkFile& work, std::string& reason);

// Gives the working file a name to keep. A complete result takes the final name unless
// another file was put there since the work began; a partial result takes it only
// when no file was there at all. Otherwise the result is kept beside it as
// "<stem> (incomplete)<ext>" (partial) or "<stem> (2)<ext>" (complete), numbered
// further when those exist. Returns the name the file now has, or an empty string with
// the system's reason (the working file is then removed).
std::string SettleWorkFile(const WorkFile& work, bool complete, std::string& reason);

// Removes the working file.
void DiscardWorkFile(const WorkFile& work);

}  // namespace platform
