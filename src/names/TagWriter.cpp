#include "names/TagWriter.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace names {

namespace {

using TagLib::ByteVector;
using TagLib::String;

String Utf8(const std::string& text) {
    return String(text, String::UTF8);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The values one track's tags hold, in the Vorbis comment names; the ID3v2 and INFO
// writers translate them. Only fields with a value are listed.
std::vector<std::pair<std::string, std::string>> TrackFields(const DiscNames& names, int number,
                                                             int trackCount) {
    const TrackNames* track = names.Track(number);
    static const TrackNames kNone;
    const TrackNames& t = track ? *track : kNone;
    std::vector<std::pair<std::string, std::string>> fields = {
        {"TITLE", t.title},
        {"ARTIST", t.artist.empty() ? names.albumArtist : t.artist},
        {"ALBUM", names.album},
        {"ALBUMARTIST", names.albumArtist},
        {"COMPOSER", t.composer},
        {"TRACKNUMBER", std::to_string(number)},
        {"TRACKTOTAL", trackCount > 0 ? std::to_string(trackCount) : ""},
        {"DISCNUMBER", names.discNumber > 0 ? std::to_string(names.discNumber) : ""},
        {"DISCTOTAL", names.discCount > 0 ? std::to_string(names.discCount) : ""},
        {"DATE", names.year},
        {"ISRC", t.isrc},
        {"LABEL", names.label},
        {"CATALOGNUMBER", names.catalogueNumber},
        {"BARCODE", names.barcode},
        {"MUSICBRAINZ_ALBUMID", names.musicBrainzReleaseId},
        {"MUSICBRAINZ_RELEASEGROUPID", names.musicBrainzReleaseGroupId},
        {"MUSICBRAINZ_RELEASETRACKID", t.musicBrainzTrackId},
        {"MUSICBRAINZ_TRACKID", t.musicBrainzRecordingId},
        {"MUSICBRAINZ_ARTISTID",
         t.musicBrainzArtistId.empty() ? names.musicBrainzArtistId : t.musicBrainzArtistId},
        {"MUSICBRAINZ_ALBUMARTISTID", names.musicBrainzArtistId},
        {"MUSICBRAINZ_DISCID", names.musicBrainzDiscId},
    };
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [](const auto& f) { return f.second.empty(); }),
                 fields.end());
    return fields;
}

std::string Field(const std::vector<std::pair<std::string, std::string>>& fields, const char* key) {
    for (const auto& [name, value] : fields)
        if (name == key) return value;
    return {};
}

// The ID3v2 TXXX descriptions of the fields kept in user text frames.
const char* UserTextDescription(const std::string& key) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"CATALOGNUMBER", "CATALOGNUMBER"},
        {"BARCODE", "BARCODE"},
        {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id"},
        {"MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group Id"},
        {"MUSICBRAINZ_RELEASETRACKID", "MusicBrainz Release Track Id"},
        {"MUSICBRAINZ_ARTISTID", "MusicBrainz Artist Id"},
        {"MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist Id"},
        {"MUSICBRAINZ_DISCID", "MusicBrainz Disc Id"},
    };
    for (const auto& [field, description] : kNames)
        if (key == field) return description;
    return nullptr;
}

void SetText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& value) {
    tag.removeFrames(id);
    if (value.empty()) return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, String::UTF8);
    frame->setText(Utf8(value));
    tag.addFrame(frame);
}

// Fills an ID3v2 tag. Text goes in as UTF-8; TagLib stores it as UTF-16 when it
// writes version 2.3, which has no UTF-8.
void FillId3v2(TagLib::ID3v2::Tag& tag,
               const std::vector<std::pair<std::string, std::string>>& fields,
               const CoverImage* cover) {
    auto value = [&](const char* key) { return Field(fields, key); };
    SetText(tag, "TIT2", value("TITLE"));
    SetText(tag, "TPE1", value("ARTIST"));
    SetText(tag, "TALB", value("ALBUM"));
    SetText(tag, "TPE2", value("ALBUMARTIST"));
    SetText(tag, "TCOM", value("COMPOSER"));
    const std::string track = value("TRACKNUMBER");
    const std::string tracks = value("TRACKTOTAL");
    SetText(tag, "TRCK", tracks.empty() ? track : track + "/" + tracks);
    const std::string disc = value("DISCNUMBER");
    const std::string discs = value("DISCTOTAL");
    SetText(tag, "TPOS", disc.empty() ? "" : discs.empty() ? disc : disc + "/" + discs);
    SetText(tag, "TDRC", value("DATE"));
    SetText(tag, "TSRC", value("ISRC"));
    SetText(tag, "TPUB", value("LABEL"));
    for (const auto& [key, text] : fields) {
        const char* description = UserTextDescription(key);
        if (!description) continue;
        if (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, description))
            tag.removeFrame(old);
        tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            description, TagLib::StringList(Utf8(text)), String::UTF8));
    }
    const std::string recording = value("MUSICBRAINZ_TRACKID");
    if (!recording.empty()) {
        tag.removeFrames("UFID");
        tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
            "http://musicbrainz.org", ByteVector(recording.data(), recording.size())));
    }
    if (cover && cover->Found()) {
        tag.removeFrames("APIC");
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setMimeType(cover->mimeType);
        picture->setPicture(ByteVector(cover->bytes.data(), cover->bytes.size()));
        tag.addFrame(picture);
    }
}

void FillInfo(TagLib::RIFF::Info::Tag& info,
              const std::vector<std::pair<std::string, std::string>>& fields) {
    static const std::pair<const char*, const char*> kChunks[] = {
        {"INAM", "TITLE"}, {"IART", "ARTIST"},      {"IPRD", "ALBUM"},
        {"ICRD", "DATE"},  {"ITRK", "TRACKNUMBER"},
    };
    for (const auto& [chunk, key] : kChunks) {
        const std::string text = Field(fields, key);
        if (text.empty())
            info.removeField(chunk);
        else
            info.setFieldText(chunk, Utf8(text));
    }
}

// Renames a RIFF WAVE file's "ID3 " chunk to "id3 ", the spelling most WAV readers
// look for (TagLib reads both). Only the four bytes of the chunk's name change.
bool UseLowerCaseId3Chunk(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) return false;
    unsigned char header[12];
    bool ok = std::fread(header, 1, 12, file) == 12 && std::memcmp(header, "RIFF", 4) == 0 &&
              std::memcmp(header + 8, "WAVE", 4) == 0;
    long at = 12;
    while (ok) {
        unsigned char chunk[8];
        if (std::fseek(file, at, SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8) break;
        const unsigned long size =
            chunk[4] | chunk[5] << 8 | chunk[6] << 16 | static_cast<unsigned long>(chunk[7]) << 24;
        if (std::memcmp(chunk, "ID3 ", 4) == 0) {
            ok = std::fseek(file, at, SEEK_SET) == 0 && std::fwrite("id3 ", 1, 4, file) == 4;
            break;
        }
        at += 8 + static_cast<long>(size) + static_cast<long>(size & 1);
    }
    return std::fclose(file) == 0 && ok;
}

}  // namespace

bool TagFormatForExtension(const std::string& extension, TagFormat& format) {
    const std::string ext = Lower(extension);
    if (ext == "mp3")
        format = TagFormat::Mp3;
    else if (ext == "flac")
        format = TagFormat::Flac;
    else if (ext == "wav")
        format = TagFormat::Wav;
    else
        return false;
    return true;
}

bool WriteTrackTags(const std::string& path, TagFormat format, const DiscNames& names, int number,
                    const TagOptions& options, std::string* problem) {
    auto fail = [problem](std::string why) {
        if (problem) *problem = std::move(why);
        return false;
    };
    const auto fields = TrackFields(names, number, options.trackCount);
    const auto version = options.id3v24 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
    const CoverImage* cover = options.cover && options.cover->Found() ? options.cover : nullptr;
    const TagLib::FileName name(path.c_str());
    switch (format) {
        case TagFormat::Mp3: {
            TagLib::MPEG::File file(name, false);
            if (!file.isValid()) return fail("the file is not an MP3 file TagLib can read");
            FillId3v2(*file.ID3v2Tag(true), fields, cover);
            if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version))
                return fail("the MP3 file's tags could not be saved");
            return true;
        }
        case TagFormat::Flac: {
            TagLib::FLAC::File file(name, false);
            if (!file.isValid()) return fail("the file is not a FLAC file TagLib can read");
            TagLib::Ogg::XiphComment* comment = file.xiphComment(true);
            for (const auto& [key, text] : fields) comment->addField(key, Utf8(text), true);
            if (cover) {
                file.removePictures();
                auto* picture = new TagLib::FLAC::Picture;
                picture->setType(TagLib::FLAC::Picture::FrontCover);
                picture->setMimeType(cover->mimeType);
                picture->setData(ByteVector(cover->bytes.data(), cover->bytes.size()));
                file.addPicture(picture);
            }
            if (!file.save()) return fail("the FLAC file's tags could not be saved");
            return true;
        }
        case TagFormat::Wav: {
            {
                TagLib::RIFF::WAV::File file(name, false);
                if (!file.isValid()) return fail("the file is not a WAV file TagLib can read");
                FillInfo(*file.InfoTag(), fields);
                FillId3v2(*file.ID3v2Tag(), fields, cover);
                if (!file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers,
                               version))
                    return fail("the WAV file's tags could not be saved");
            }
            if (!UseLowerCaseId3Chunk(path))
                return fail("the WAV file's id3 chunk could not be named");
            return true;
        }
    }
    return fail("unknown format");
}

bool WriteGainTags(const std::string& path, TagFormat format, const GainTags& gains, bool id3v24,
                   std::string* problem) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"REPLAYGAIN_TRACK_GAIN", &gains.trackGain},
        {"REPLAYGAIN_TRACK_PEAK", &gains.trackPeak},
        {"REPLAYGAIN_ALBUM_GAIN", &gains.albumGain},
        {"REPLAYGAIN_ALBUM_PEAK", &gains.albumPeak},
    };
    auto fail = [problem](std::string why) {
        if (problem) *problem = std::move(why);
        return false;
    };
    const TagLib::FileName name(path.c_str());
    if (format == TagFormat::Mp3) {
        TagLib::MPEG::File file(name, false);
        if (!file.isValid()) return fail("the file is not an MP3 file TagLib can read");
        TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
        for (const auto& [key, value] : fields) {
            if (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, key))
                tag.removeFrame(old);
            if (!value->empty())
                tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
                    key, TagLib::StringList(Utf8(*value)), String::UTF8));
        }
        if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                       id3v24 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3))
            return fail("the MP3 file's tags could not be saved");
        return true;
    }
    if (format == TagFormat::Flac) {
        TagLib::FLAC::File file(name, false);
        if (!file.isValid()) return fail("the file is not a FLAC file TagLib can read");
        TagLib::Ogg::XiphComment* comment = file.xiphComment(true);
        for (const auto& [key, value] : fields) {
            comment->removeFields(key);
            if (!value->empty()) comment->addField(key, Utf8(*value), true);
        }
        if (!file.save()) return fail("the FLAC file's tags could not be saved");
    }
    return true;
}

}  // namespace names
