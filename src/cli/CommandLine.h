// The program's command line: one parser for every command, one usage text, one
// help text and one way of reporting a usage error.
#pragma once

#include <string>
#include <vector>

#include "encode/Formats.h"

namespace cli {

enum class Command { None, Help, Version, List, Toc, Rip, Convert, Play, CheckLog };

// Exit statuses of every command.
inline constexpr int kExitOk = 0;      // all done
inline constexpr int kExitFailed = 1;  // something failed; named on standard error
inline constexpr int kExitUsage =
    2;  // usage error, no drive, or a disc image that cannot be opened

struct CommandLine {
    Command command = Command::None;
    std::vector<std::string> discs;               // --disc FILE, in the order given
    encode::Format format = encode::Format::Wav;  // --rip wav|mp3|flac
    int playRow = 0;                              // --play ROW, from 1
    bool haveOut = false;
    std::string out;  // --out DIR
    bool haveTracks = false;
    std::string tracks;        // --tracks LIST
    bool verify = false;       // --verify
    bool accurateRip = false;  // --accuraterip
    bool ctdb = false;         // --ctdb
    bool haveOffset = false;
    int offset = 0;         // --offset N, in samples
    int rateIndex = -1;     // --rate KBPS as an index into the rate list; -1 = the setting
    int channelIndex = -1;  // --channel as a "channle" setting index; -1 = the setting
    bool haveNaming = false;
    std::string naming;              // --naming TEMPLATE, checked; else the "naming" setting
    int jobs = 0;                    // --jobs N, 1..core::kMaxJobs; 0 = the "jobs" setting
    std::vector<std::string> files;  // --convert FILE...
    bool noLookup = false;           // --no-lookup: no MusicBrainz lookup
    std::string release;             // --release MBID: the release to name the disc from
    std::string logFile;             // --check-log FILE
};

// Reads the arguments after the program's name. The first of --help, --version,
// --list, --toc, --rip, --convert, --play and --check-log names the command; the others must be
// options that command takes. False with a one-line reason in `error` on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

// One line per command.
std::string UsageText();
// The usage and a few lines on every command and option.
std::string HelpText();

// Prints "trackmill: <why>" and a pointer to --help on standard error, one line, and
// returns kExitUsage.
int UsageError(const std::string& why);
// Prints "trackmill: <what>" on standard error.
void PrintError(const std::string& what);

// The --disc options of a command line as the disc session reads them.
std::vector<std::string> DiscArguments(const CommandLine& line);

// Parses "1,3-5" into 0-based row indexes, in the order given, each once. False for
// an empty piece, a bad number or a row outside 1..rowCount.
bool ParseRowList(const std::string& text, int rowCount, std::vector<int>& rows,
                  std::string& error);

}  // namespace cli
