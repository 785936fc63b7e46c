// How a rip names its files and finishes them, when the disc's names are known.
// The engine's default (an empty record) is a file named after the track's title in
// the output folder, without tags. The front ends fill it from the disc's names
// (names/RipFiles.h); the engine calls it from the threads each member says.
#pragma once

#include <functional>
#include <string>

#include "rip/ReplayGain.h"

namespace rip {

struct TrackFiles {
    // On StartTrack's thread: the path of track `number`'s file relative to the output
    // folder, without its extension. It may hold folders, which the engine makes; the
    // engine keeps two files of one batch apart.
    std::function<std::string(int number, const std::string& title)> relativeName;
    // On the writer thread, once the working file `workPath` holds the whole track and
    // before it takes its final name `finalPath`: writes the tags. False, with the
    // reason in `problem`, fails the track's output.
    using Finish = std::function<bool(const std::string& workPath, const std::string& finalPath,
                                      int number, std::string& problem)>;
    Finish finish;
    // At the batch's end, on the thread that writes its log, for each whole track
    // whose ReplayGain was measured: writes the track's and the album's gain into the
    // finished file at `path`. False, with the reason in `problem`, when it could not;
    // the file is then as it was.
    using Gains = std::function<bool(const std::string& path, const GainValues& track,
                                     const GainValues& album, std::string& problem)>;
    Gains gains;
};

}  // namespace rip
