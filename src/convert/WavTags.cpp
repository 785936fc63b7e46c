#include "convert/WavTags.h"

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/wavfile.h>

namespace convert {

bool CarryWavTags(const std::string& wavPath, const std::string& mp3Path, bool id3v24,
                  std::string* problem) {
    auto fail = [problem](const char* why) {
        if (problem) *problem = why;
        return false;
    };
    TagLib::RIFF::WAV::File wav(wavPath.c_str(), false);
    if (!wav.isValid()) return fail("the source's tags could not be read");
    if (!wav.hasID3v2Tag() && !wav.hasInfoTag()) return true;

    TagLib::MPEG::File mp3(mp3Path.c_str(), false);
    if (!mp3.isValid()) return fail("the MP3 file could not be opened to tag it");
    TagLib::ID3v2::Tag* target = mp3.ID3v2Tag(true);
    if (wav.hasID3v2Tag()) {
        // Each frame is copied through its rendered bytes, so frames of every kind
        // (pictures, user texts, identifiers) keep their exact contents.
        // A frame renders in the version of the tag it was read from.
        const TagLib::ID3v2::FrameFactory* factory = TagLib::ID3v2::FrameFactory::instance();
        TagLib::ID3v2::Header header;
        header.setMajorVersion(wav.ID3v2Tag()->header()->majorVersion());
        for (const TagLib::ID3v2::Frame* frame : wav.ID3v2Tag()->frameList()) {
            if (TagLib::ID3v2::Frame* copy = factory->createFrame(frame->render(), &header))
                target->addFrame(copy);
        }
    }
    if (wav.hasInfoTag()) {
        const TagLib::RIFF::Info::Tag* info = wav.InfoTag();
        if (target->title().isEmpty()) target->setTitle(info->title());
        if (target->artist().isEmpty()) target->setArtist(info->artist());
        if (target->album().isEmpty()) target->setAlbum(info->album());
        if (target->genre().isEmpty()) target->setGenre(info->genre());
        if (target->comment().isEmpty()) target->setComment(info->comment());
        if (target->year() == 0) target->setYear(info->year());
        if (target->track() == 0) target->setTrack(info->track());
    }
    if (target->isEmpty()) return true;
    if (!mp3.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                  id3v24 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3))
        return fail("the MP3 file's tags could not be saved");
    return true;
}

}  // namespace convert
