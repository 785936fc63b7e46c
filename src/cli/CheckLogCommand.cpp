// trackmill --check-log FILE: checks a rip log against the checksum on its last line.
// Prints "log checksum ok" (exit 0), "log altered" or "no checksum" (exit 1); a file
// that cannot be read is a usage error (exit 2).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "rip/LogSeal.h"

namespace cli {

namespace {

// Far more than any rip log of 99 tracks; a larger file is not one.
constexpr std::uintmax_t kMaxLogBytes = 16u << 20;

}  // namespace

int RunCheckLogCommand(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::CheckLog) return UsageError("--check-log expected");

    const std::string& path = line.logFile;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        PrintError("--check-log: " + path +
                   (std::filesystem::exists(path, ec) ? " is not a regular file" : " is missing"));
        return kExitUsage;
    }
    if (std::filesystem::file_size(path, ec) > kMaxLogBytes) {
        PrintError("--check-log: " + path + " is too large to be a rip log");
        return kExitUsage;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        PrintError("--check-log: " + path + " cannot be read: " + std::strerror(errno));
        return kExitUsage;
    }
    switch (rip::CheckLogSeal(text)) {
        case rip::LogSealState::Intact:
            std::printf("log checksum ok\n");
            return kExitOk;
        case rip::LogSealState::Altered:
            std::printf("log altered\n");
            return kExitFailed;
        case rip::LogSealState::Missing:
        default:
            std::printf("no checksum\n");
            return kExitFailed;
    }
}

}  // namespace cli
