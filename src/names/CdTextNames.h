// Names from the disc's CD-Text: a drive's (through libcdio), a cue sheet's
// TITLE / PERFORMER / SONGWRITER, a .toc's CD_TEXT blocks. The CD access library
// reads them; this turns them into DiscNames.
#pragma once

#include <cstdint>

#include "cdaccess/Drive.h"
#include "names/DiscNames.h"

namespace names {

// Album and album artist from the disc's entry; per track its title, performer (as
// the track's artist) and songwriter (as its composer). Source CdText when anything
// is named, else None.
DiscNames NamesFromCdText(const cdaccess::DiscText& text);
// The CD-Text of the disc behind an open handle, as names.
DiscNames ReadCdTextNames(std::uint32_t handle);

}  // namespace names
