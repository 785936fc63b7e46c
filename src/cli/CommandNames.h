// The disc's names for a headless command: the cache, then MusicBrainz (unless the
// "musicbrainz" setting is 0 or --no-lookup is given), then the disc's CD-Text.
// Several releases: --release MBID picks one; without it the choices are listed on
// standard error and the best match is taken (and remembered for the disc).
// Ctrl+C ends a lookup still waiting for the network.
#pragma once

#include <cstdint>

#include "cli/CommandLine.h"
#include "names/FindDiscNames.h"

namespace cli {

// `interrupted` is set when Ctrl+C came during the lookup: the command should stop.
names::NamesAnswer FindNamesForCommand(std::uint32_t handle, const CommandLine& line,
                                       bool& interrupted);

}  // namespace cli
