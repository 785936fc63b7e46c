// Names found or edited, kept per disc so that the same disc opens with its names and
// without the network: one JSON file per MusicBrainz disc id in
// $XDG_CACHE_HOME/trackmill/ (~/.cache/trackmill/ when that is not set).
#pragma once

#include <string>

#include "names/DiscNames.h"

namespace names {

// The cache folder, without a trailing separator.
std::string NamesCacheFolder();
// The names kept for the disc id; false when none are (or the file is unreadable).
bool LoadCachedNames(const std::string& discId, DiscNames& out);
// Keeps `names` under names.musicBrainzDiscId, replacing what was kept (the file is
// written whole under another name and then renamed). False when it has no disc id or
// the file cannot be written.
bool SaveCachedNames(const DiscNames& names);

}  // namespace names
