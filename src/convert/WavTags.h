// Carries a WAV file's tags into the MP3 file converted from it: the frames of its
// ID3v2 tag ("id3 " chunk) as they are, and from its RIFF INFO chunk the title,
// artist, album, year, track, genre and comment the ID3v2 tag does not already give.
#pragma once

#include <string>

namespace convert {

// Tags `mp3Path` with the tags of `wavPath` (ID3v2.4 when id3v24, else 2.3). True
// when the source has no tags or they were carried; false with the reason in
// `problem` when they could not be read or saved.
bool CarryWavTags(const std::string& wavPath, const std::string& mp3Path, bool id3v24,
                  std::string* problem);

}  // namespace convert
