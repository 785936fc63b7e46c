#include "cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "rip/RipEngine.h"

#include "core/Settings.h"
#include "names/NamingTemplate.h"

namespace cli {

namespace {

struct CommandName {
    const char* option;
    Command command;
};

constexpr CommandName kCommandNames[] = {
    {"--help", Command::Help},       {"-h", Command::Help},     {"--version", Command::Version},
    {"--list", Command::List},       {"--toc", Command::Toc},   {"--rip", Command::Rip},
    {"--convert", Command::Convert}, {"--play", Command::Play}, {"--check-log", Command::CheckLog},
};

Command CommandOf(const std::string& arg) {
    for (const CommandName& name : kCommandNames)
        if (arg == name.option) return name.command;
    return Command::None;
}

const char* OptionOf(Command command) {
    for (const CommandName& name : kCommandNames)
        if (name.command == command) return name.option;
    return "";
}

// The --channel words, at the indexes of the "channle" setting.
constexpr const char* kChannelWords[] = {"stereo", "left", "right", "mono"};

// KBPS as an index into the rate list; -1 when it is not one of its rates.
int RateIndexOf(const std::string& text) {
    for (int i = 0; i < core::kRateListSize; ++i)
        if (text == std::to_string(core::kRateList[i])) return i;
    return -1;
}

std::string RateListText() {
    std::string text;
    for (int i = 0; i < core::kRateListSize; ++i)
        text += (i ? ", " : "") + std::to_string(core::kRateList[i]);
    return text;
}

// ROW as a row number from 1; 0 when it is not one.
int ParseRow(const std::string& text) {
    if (text.empty() || text.size() > 3) return 0;
    int row = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        row = row * 10 + (c - '0');
    }
    return row;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine{};
    for (const std::string& a : args) {
        out.command = CommandOf(a);
        if (out.command != Command::None) break;
    }
    if (out.command == Command::None) {
        error = "no command given";
        return false;
    }
    if (out.command == Command::Help || out.command == Command::Version) return true;

    const Command c = out.command;
    const std::string name = OptionOf(c);
    auto fail = [&](const std::string& why) {
        error = name + ": " + why;
        return false;
    };
    bool commandSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size() && !args[i + 1].empty();
        if (a == name && !commandSeen) {
            commandSeen = true;
            if (c == Command::Rip) {
                const encode::FormatInfo* format =
                    hasValue ? encode::FindFormat(args[i + 1]) : nullptr;
                if (!format) return fail("the format must be " + encode::FormatNames());
                out.format = format->format;
                ++i;
            } else if (c == Command::Play) {
                if (!hasValue) return fail("needs a row number");
                out.playRow = ParseRow(args[++i]);
                if (out.playRow < 1) return fail("the row must be a number from 1");
            } else if (c == Command::CheckLog) {
                if (!hasValue) return fail("needs the path of a rip log");
                out.logFile = args[++i];
            }
        } else if (a == "--disc" && c != Command::Convert) {
            if (!hasValue) return fail("--disc needs the path of a disc image");
            out.discs.push_back(args[++i]);
        } else if (a == "--out" && (c == Command::Rip || c == Command::Convert)) {
            if (out.haveOut) return fail("--out given twice");
            if (!hasValue) return fail("--out needs a folder");
            out.out = args[++i];
            out.haveOut = true;
        } else if (a == "--tracks" && c == Command::Rip) {
            if (out.haveTracks) return fail("--tracks given twice");
            if (!hasValue) return fail("--tracks needs a row list");
            out.tracks = args[++i];
            out.haveTracks = true;
        } else if (a == "--verify" && c == Command::Rip) {
            out.verify = true;
        } else if (a == "--accuraterip" && c == Command::Rip) {
            out.accurateRip = true;
        } else if (a == "--ctdb" && c == Command::Rip) {
            out.ctdb = true;
        } else if (a == "--no-lookup" && c == Command::Rip) {
            out.noLookup = true;
        } else if (a == "--release" && c == Command::Rip) {
            if (!out.release.empty()) return fail("--release given twice");
            if (!hasValue) return fail("--release needs a MusicBrainz release id");
            out.release = args[++i];
        } else if (a == "--offset" && c == Command::Rip) {
            if (out.haveOffset) return fail("--offset given twice");
            if (!hasValue) return fail("--offset needs a number of samples");
            const std::string& text = args[++i];
            char* end = nullptr;
            errno = 0;
            const long v = std::strtol(text.c_str(), &end, 10);
            constexpr int kMax = rip::RipEngine::kMaxReadOffset;
            if (*end != '\0' || errno != 0 || v < -kMax || v > kMax)
                return fail("bad read offset '" + text + "' (samples, -" + std::to_string(kMax) +
                            " to " + std::to_string(kMax) + ")");
            out.offset = static_cast<int>(v);
            out.haveOffset = true;
        } else if (a == "--rate" && c == Command::Rip) {
            if (out.rateIndex >= 0) return fail("--rate given twice");
            if (!hasValue) return fail("--rate needs a bit rate in kbit/s");
            out.rateIndex = RateIndexOf(args[++i]);
            if (out.rateIndex < 0)
                return fail("--rate must be one of " + RateListText() + " (kbit/s)");
        } else if (a == "--channel" && c == Command::Rip) {
            if (out.channelIndex >= 0) return fail("--channel given twice");
            if (!hasValue) return fail("--channel needs stereo, left, right or mono");
            const std::string word = args[++i];
            for (int k = 0; k < 4; ++k)
                if (word == kChannelWords[k]) out.channelIndex = k;
            if (out.channelIndex < 0) return fail("--channel must be stereo, left, right or mono");
        } else if (a == "--naming" && c == Command::Rip) {
            if (out.haveNaming) return fail("--naming given twice");
            if (!hasValue) return fail("--naming needs a file-name template");
            out.naming = args[++i];
            out.haveNaming = true;
            const std::string problem = names::NamingTemplateProblem(out.naming);
            if (!problem.empty()) return fail("bad --naming template: " + problem);
        } else if (a == "--jobs" && (c == Command::Rip || c == Command::Convert)) {
            if (out.jobs > 0) return fail("--jobs given twice");
            if (!hasValue) return fail("--jobs needs a number of files");
            const int jobs = ParseRow(args[++i]);
            if (jobs < 1 || jobs > core::kMaxJobs)
                return fail("--jobs must be a number from 1 to " + std::to_string(core::kMaxJobs));
            out.jobs = jobs;
        } else if (c == Command::Convert && !(a.size() > 1 && a[0] == '-')) {
            out.files.push_back(a);
        } else {
            return fail("unexpected argument '" + a + "'");
        }
    }
    if (c == Command::Convert && out.files.empty()) return fail("no files to convert");
    if (out.noLookup && !out.release.empty())
        return fail("--release needs the lookup that --no-lookup turns off");
    // A WAV or FLAC file always holds the disc's exact samples.
    if (c == Command::Rip && !encode::InfoOf(out.format).rateAndChannels &&
        (out.rateIndex >= 0 || out.channelIndex >= 0))
        return fail("--rate and --channel apply to mp3 rips only");
    return true;
}

std::string UsageText() {
    return "usage: trackmill [--disc FILE]\n"
           "       trackmill --list [--disc FILE]\n"
           "       trackmill --toc [--disc FILE]\n"
           "       trackmill --rip wav|mp3|flac [--disc FILE] [--out DIR] [--tracks LIST]\n"
           "                 [--verify] [--offset N] [--accuraterip] [--ctdb]\n"
           "                 [--rate KBPS] [--channel stereo|left|right|mono] [--jobs N]\n"
           "                 [--no-lookup | --release MBID]\n"
           "                 [--naming TEMPLATE]\n"
           "       trackmill --convert FILE... [--out DIR] [--jobs N]\n"
           "       trackmill --play ROW [--disc FILE]\n"
           "       trackmill --check-log FILE\n"
           "       trackmill --help | --version\n";
}

std::string HelpText() {
    return UsageText() +
           "\n"
           "  (no command)      Open the main window on the first drive that answers.\n"
           "                    Needs a display; every command below runs without one.\n"
           "  --list            Print the drive that opened and the disc's track list:\n"
           "                    row number, track and time, tab-separated.\n"
           "  --toc             Print the disc's table of contents as the drive reports it:\n"
           "                    start, length, type, flags and pregap of each track, the\n"
           "                    lead-out, any audio hidden before track 1, and the disc's\n"
           "                    CDDB, MusicBrainz, AccurateRip and CTDB ids.\n"
           "  --rip wav|mp3|flac\n"
           "                    Rip the disc's audio tracks to WAV, MP3 or FLAC files named\n"
           "                    after the tracks. MP3 needs the program's encoder module;\n"
           "                    FLAC is lossless, at the \"flac\" setting's level (0-8, 5).\n"
           "                    Audio hidden before track 1 is ripped first, as Track 0,\n"
           "                    when track 1 is ripped and the \"htoa\" setting is 1 (the\n"
           "                    default).\n"
           "  --convert FILE... Convert WAV files to MP3 files named after them, at the bit\n"
           "                    rate of the \"rate\" setting.\n"
           "  --play ROW        Play one row of the track list to the sound device.\n"
           "  --check-log FILE  Check a rip log against the SHA-256 checksum on its last\n"
           "                    line: \"log checksum ok\" (exit 0), \"log altered\" or\n"
           "                    \"no checksum\" (exit 1).\n"
           "  --disc FILE       Use a disc image (.cue, .bin with its .cue, .toc, .nrg)\n"
           "                    before the drives (a cue sheet's files may be BIN, WAV or\n"
           "                    FLAC); may be given more than once. TRACKMILL_DISC does the\n"
           "                    same.\n"
           "  --out DIR         Write the files into DIR, made when missing. Without it: the\n"
           "                    \"output\" setting, else the music folder (made when missing).\n"
           "  --tracks LIST     Rip only these rows, e.g. 1,3-5 (default: every audio row).\n"
           "  --verify          Read every track twice, a test pass then the copy, and mark\n"
           "                    a track whose passes differ suspicious.\n"
           "  --offset N        The drive's read offset in samples (default: the \"offset\"\n"
           "                    setting, else 0); past the disc's edges is silence.\n"
           "  --accuraterip     Check the ripped tracks against the AccurateRip database\n"
           "                    (TRACKMILL_ACCURATERIP_URL replaces its address).\n"
           "  --ctdb            Check the rip against the CTDB (CUETools database): the\n"
           "                    whole disc's CRC32, or each track's when only some were\n"
           "                    ripped (TRACKMILL_CTDB_URL replaces its address).\n"
           "                    Every rip writes a log with checksums and a cue sheet of\n"
           "                    the ripped tracks into the folder.\n"
           "  --rate KBPS       MP3 rips: the lowest bit rate, one of 320, 256, 224, 192,\n"
           "                    160, 128, 112, 96, 64, 56 (default: the \"rate\" setting).\n"
           "  --channel CH      MP3 rips: stereo, left or right (that channel alone, as\n"
           "                    mono) or mono (both mixed); default: the \"channle\" setting.\n"
           "  --no-lookup       Do not look the disc up on MusicBrainz (the \"musicbrainz\"\n"
           "                    setting 0 does the same); names come from the names kept\n"
           "                    for the disc, else its CD-Text, else \"Track N\".\n"
           "  --release MBID    The MusicBrainz release to name the disc from when it is on\n"
           "                    several (without it they are listed and the best match is\n"
           "                    taken). TRACKMILL_MUSICBRAINZ_URL replaces the address.\n"
           "  --naming TEMPLATE File names when the disc's names are known (default: the\n"
           "                    \"naming\" setting, else \"%n - %t\"): %n track number, %t\n"
           "                    title, %a track artist, %A album artist, %d album, %y year;\n"
           "                    a / makes a folder. Unknown names give \"Track N\".\n"
           "  --jobs N          How many files are encoded at once, 1-32 (default: the\n"
           "                    \"jobs\" setting, else the number of processors).\n"
           "  --version         Print the program's version and those of its libraries.\n"
           "\n"
           "Ctrl+C (or SIGTERM, SIGHUP) stops a rip, a conversion or playing cleanly.\n"
           "Exit status: 0 all done, 1 something failed or a track was suspicious (named\n"
           "on standard error), 2 usage error, no drive, or a disc image that cannot be\n"
           "opened.\n";
}

int UsageError(const std::string& why) {
    std::fprintf(stderr, "trackmill: %s (trackmill --help shows the usage)\n", why.c_str());
    return kExitUsage;
}

void PrintError(const std::string& what) {
    std::fprintf(stderr, "trackmill: %s\n", what.c_str());
}

std::vector<std::string> DiscArguments(const CommandLine& line) {
    std::vector<std::string> args;
    for (const std::string& disc : line.discs) {
        args.push_back("--disc");
        args.push_back(disc);
    }
    return args;
}

bool ParseRowList(const std::string& text, int rowCount, std::vector<int>& rows,
                  std::string& error) {
    rows.clear();
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t comma = std::min(text.find(',', pos), text.size());
        const std::string piece = text.substr(pos, comma - pos);
        pos = comma + 1;
        const std::size_t dash = piece.find('-');
        auto number = [&](const std::string& s, int& out) {
            if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
                return false;
            out = std::stoi(s);
            return out >= 1 && out <= rowCount;
        };
        int first = 0, last = 0;
        const bool ok = dash == std::string::npos
                            ? number(piece, first) && number(piece, last)
                            : number(piece.substr(0, dash), first) &&
                                  number(piece.substr(dash + 1), last) && first <= last;
        if (!ok) {
            error = "bad row list '" + text + "' (rows are 1 to " + std::to_string(rowCount) + ")";
            return false;
        }
        for (int r = first; r <= last; ++r)
            if (std::find(rows.begin(), rows.end(), r - 1) == rows.end()) rows.push_back(r - 1);
    }
    return true;
}

}  // namespace cli
