// File names of ripped tracks from a template (the "naming" setting).
//
// A template is text with fields: %n the track's number in two digits, %t its title,
// %a its artist (the album artist when it has none), %A the album artist, %d the
// album, %y the year, %% a percent sign; any other text is kept. Each '/' starts a
// subfolder: "%A/%d/%n - %t" files a track under the album artist and the album.
// Every value is cleaned as a file name (core::CleanFileName), so a '/' inside a
// title never makes a folder.
#pragma once

#include <string>

#include "names/DiscNames.h"

namespace names {

inline constexpr const char* kDefaultNamingTemplate = "%n - %t";

// The template the rip uses for a "naming" setting: the setting, or the default
// when it is empty.
std::string EffectiveNamingTemplate(const std::string& setting);

// Why a template cannot give every track a name of its own: empty when it can.
// A template must end in a file name that holds %n or %t, and no folder of it may
// be empty ("a//b", a leading or trailing '/').
std::string NamingTemplateProblem(const std::string& pattern);

// The path of track `number`'s file relative to the output folder, without its
// extension, the template's folders joined with the platform's separator. A track
// without a title is called "Track N". A folder or file name that comes out empty,
// or as "." or "..", becomes "_"; each is cut to at most 200 bytes. Use it only for
// a valid template (NamingTemplateProblem empty).
std::string TrackFileStem(const std::string& pattern, const DiscNames& names, int number);

}  // namespace names
