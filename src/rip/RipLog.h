// The rip log: after every batch, a plain-text account of the rip in the output
// folder that a person can read and a program can parse (one "key: value" line or
// one table row per fact): the program and date, the drive, the read offset, the
// table of contents, the disc's identifiers and CTDB check, per track its file, length,
// checksums, read trouble, database verdicts and result, and a closing line with the
// counts.
// Its last line is a checksum over everything above it (rip/LogSeal.h); a cue sheet of
// the same name goes beside it (rip/CueSheetWriter.h).
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "rip/CueSheetWriter.h"
#include "rip/RipEngine.h"

namespace rip {

struct BatchInfo {
    std::string drive;  // the drive's or the image's name
    std::string folder;
    encode::Format format = encode::Format::Wav;
    int readOffset = 0;
    bool verify = false;
    bool accurateRip = false;  // the tracks were looked up (their records say how)
    bool ctdb = false;         // the disc was looked up in the CTDB
    std::string ctdbDisc;      // its verdict on the whole disc, when every track was ripped
    std::time_t when = 0;
    // Where the disc's names came from and how the lookup went, a log line each.
    std::vector<std::string> names;
    // TITLE and PERFORMER for the cue sheet, from the disc's names (none: no lines).
    CueSheetNames cueNames;
    // Set by FinishBatch and WriteRipLog: the disc's flags, pregaps and codes, and the
    // cue sheet's file name (or why there is none).
    DiscDetails disc;
    std::string cueSheet;
    // What became of audio hidden before track 1 ("1234 frames, ripped as Track 0");
    // empty when the disc has none.
    std::string hiddenAudio;
};

struct BatchCounts {
    int ok = 0, suspicious = 0, failed = 0;
};
BatchCounts CountBatch(const std::vector<TrackRecord>& tracks);
// "ok", "suspicious (the test and copy passes differ)" or the failure's reason.
std::string TrackResultText(const TrackRecord& track);

std::string FormatRipLog(const BatchInfo& info, const cd::TableOfContents* toc,
                         const std::vector<TrackRecord>& tracks);
// Writes the log into info.folder as "trackmill-<CDDB id>-<date>-<time>.log" (a
// number added when that exists already, so no log is ever overwritten), sealed with
// its checksum, and the batch's cue sheet beside it under the same name with ".cue".
// Returns the log's path, or an empty string with the reason in `error`.
std::string WriteRipLog(const BatchInfo& info, const cd::TableOfContents* toc,
                        const std::vector<TrackRecord>& tracks, std::string& error);

// The end of a batch, as the command line and the rip dialog do it: looks the
// tracks up in AccurateRip when asked (info.accurateRip) and the disc in the CTDB
// (info.ctdb: the verdict on the whole disc goes to info.ctdbDisc, or when only some
// tracks were ripped, each track's to its record) and writes the log. A lookup that
// `cancelled` calls off leaves the tracks "could not be checked (cancelled)".
std::string FinishBatch(RipEngine& engine, BatchInfo& info, std::string& error,
                        const std::function<bool()>& cancelled = {});

}  // namespace rip
