#include "platform/WorkFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Paths.h"

namespace platform {

namespace {

bool Identify(const std::string& path, std::uint64_t& device, std::uint64_t& inode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    device = static_cast<std::uint64_t>(st.st_dev);
    inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

// Renames without replacing anything: fails with EEXIST when `to` exists.
bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // File systems without the flag: a hard link is just as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

// "<stem><tag><ext>" for a final path, the extension being what follows the file
// name's last '.'.
std::string Beside(const std::string& finalPath, const std::string& tag) {
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < finalPath.size(); ++i)
        if (IsPathSeparator(finalPath[i])) nameStart = i + 1;
    const std::size_t dot = finalPath.rfind('.');
    const std::size_t cut = dot != std::string::npos && dot > nameStart ? dot : finalPath.size();
    return finalPath.substr(0, cut) + tag + finalPath.substr(cut);
}

}  // namespace

std::FILE* CreateWorkFile(const std::string& finalPath, WorkFile& work, std::string& reason) {
    work = WorkFile{};
    work.finalPath = finalPath;
    if (!Identify(finalPath, work.device, work.inode)) work.device = work.inode = 0;
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate =
            n == 1 ? finalPath + ".part" : finalPath + "." + std::to_string(n) + ".part";
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            reason = std::strerror(errno);
            return nullptr;
        }
        std::FILE* file = ::fdopen(fd, "w+b");
        if (!file) {
            reason = std::strerror(errno);
            ::close(fd);
            ::unlink(candidate.c_str());
            return nullptr;
        }
        work.workPath = candidate;
        return file;
    }
    reason = "too many working files of this name";
    return nullptr;
}

std::string SettleWorkFile(const WorkFile& work, bool complete, std::string& reason) {
    std::uint64_t device = 0, inode = 0;
    const bool existsNow = Identify(work.finalPath, device, inode);
    const bool hadOne = work.device != 0 || work.inode != 0;
    if (!existsNow) {
        if (RenameNoReplace(work.workPath, work.finalPath)) return work.finalPath;
        if (errno != EEXIST) {
            reason = std::strerror(errno);
            ::unlink(work.workPath.c_str());
            return {};
        }
    } else if (complete && hadOne && device == work.device && inode == work.inode) {
        // The file this run set out to replace is still the one there.
        if (std::rename(work.workPath.c_str(), work.finalPath.c_str()) == 0) return work.finalPath;
        reason = std::strerror(errno);
        ::unlink(work.workPath.c_str());
        return {};
    }
    // Something else holds the final name: keep the result beside it.
    for (int n = 1; n < 1000; ++n) {
        std::string tag = complete ? " (" + std::to_string(n + 1) + ")" : " (incomplete)";
        if (!complete && n > 1) tag = " (incomplete " + std::to_string(n) + ")";
        const std::string candidate = Beside(work.finalPath, tag);
        if (RenameNoReplace(work.workPath, candidate)) return candidate;
        if (errno != EEXIST) {
            reason = std::strerror(errno);
            ::unlink(work.workPath.c_str());
            return {};
        }
    }
    reason = "too many files of this name";
    ::unlink(work.workPath.c_str());
    return {};
}

void DiscardWorkFile(const WorkFile& work) {
    if (!work.workPath.empty()) ::unlink(work.workPath.c_str());
}

}  // namespace platform
