#include "rip/CueSheetWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cdaccess/Drive.h"

#ifndef TRACKMILL_VERSION
#define TRACKMILL_VERSION "unknown"
#endif

namespace rip {

namespace {

namespace fs = std::filesystem;

// "mm:ss:ff" as a cue sheet writes a time, ff in frames (75 a second).
std::string CueTime(std::uint32_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / 75 / 60, frames / 75 % 60,
                  frames % 75);
    return text;
}

std::string TrackWord(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

// A text a cue sheet can quote: it has no escapes, so a double quote becomes a single
// one and control characters are dropped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '\'';
        else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            out += c;
    }
    return out + "\"";
}

// The codes as the format allows them: 12 letters and digits for an ISRC, 13 digits for
// a catalogue number, neither all zeros (which a drive reports for "none").
bool ValidIsrc(const std::string& isrc) {
    return isrc.size() == 12 && isrc != "000000000000" &&
           std::all_of(isrc.begin(), isrc.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); });
}
bool ValidCatalog(const std::string& catalog) {
    return catalog.size() == 13 && catalog != std::string(13, '0') &&
           std::all_of(catalog.begin(), catalog.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The FILE line's type for a ripped file.
const char* FileType(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".mp3") return "MP3";
    if (ext == ".aif" || ext == ".aiff") return "AIFF";
    return "WAVE";  // WAV, and lossless files that decode to the disc's samples
}

// The file's name as the sheet gives it: relative to the sheet's folder when it lies in
// or below it, else its full path.
std::string SheetFileName(const std::string& file, const std::string& folder) {
    fs::path base = fs::path(folder.empty() ? "." : folder).lexically_normal();
    if (!base.has_filename() && base.has_parent_path()) base = base.parent_path();
    const fs::path relative = fs::path(file).lexically_normal().lexically_relative(base);
    if (!relative.empty() && *relative.begin() != "..") return relative.string();
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    return ec ? file : absolute.lexically_normal().string();
}

struct SheetTrack {
    const TrackRecord* record = nullptr;
    int number = 0;  // on the disc
    std::string file;
};

// "1-3, 5, 7-8"
std::string NumberRuns(const std::vector<SheetTrack>& tracks) {
    std::string text;
    for (std::size_t i = 0; i < tracks.size();) {
        std::size_t j = i;
        while (j + 1 < tracks.size() && tracks[j + 1].number == tracks[j].number + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(tracks[i].number);
        if (j > i) text += "-" + std::to_string(tracks[j].number);
        i = j + 1;
    }
    return text;
}

}  // namespace

const TrackDetails* DiscDetails::Track(int number) const {
    for (const TrackDetails& t : tracks)
        if (t.number == number) return &t;
    return nullptr;
}

DiscDetails ReadDiscDetails(std::uint32_t handle) {
    DiscDetails details;
    cdaccess::DiscToc toc;
    if (auto drive = cdaccess::DriveForHandle(handle); drive && drive->ReadToc(toc)) {
        for (const cdaccess::TocTrack& t : toc.tracks) {
            TrackDetails d;
            d.number = t.number;
            d.pregapFrames = t.pregapFrames;
            d.preEmphasis = t.preEmphasis == 1;
            d.copyPermitted = t.copyPermitted == 1;
            d.fourChannel = t.fourChannel == 1;
            details.tracks.push_back(d);
        }
    }
    cdaccess::DiscCodes codes;
    if (cdaccess::ReadDiscCodes(handle, codes)) {
        if (ValidCatalog(codes.catalog)) details.catalog = codes.catalog;
        for (TrackDetails& d : details.tracks) {
            auto it = codes.isrc.find(static_cast<std::uint8_t>(d.number));
            if (it != codes.isrc.end() && ValidIsrc(it->second)) d.isrc = it->second;
        }
    }
    return details;
}

int DiscTrackNumber(const TrackRecord& track, const cd::TableOfContents& toc) {
    if (track.number > 0) return track.number;
    if (track.discIndex > 0 && static_cast<std::size_t>(track.discIndex) <= toc.tracks.size())
        return toc.tracks[static_cast<std::size_t>(track.discIndex - 1)].number;
    for (const cd::TocEntry& t : toc.tracks)
        if (!t.data && t.startLba == track.entry.startLba) return t.number;
    return 0;
}

bool IsHiddenTrack(const TrackRecord& track, const cd::TableOfContents& toc) {
    const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc);
    return track.number == 0 && !audio.empty() && audio.front().number == 1 &&
           audio.front().startLba > 0 && track.entry.startLba == 0 &&
           track.entry.lengthFrames == audio.front().startLba && !track.entry.isData;
}

std::string FormatCueSheet(const cd::TableOfContents& toc, const DiscDetails& details,
                           const CueSheetNames& names, const std::vector<TrackRecord>& tracks,
                           const std::string& folder, std::string& why) {
    // The tracks whose files were written whole, in disc order (a track ripped twice
    // in one batch counts once, with its last file).
    std::vector<SheetTrack> sheet;
    SheetTrack hidden;  // the audio hidden before track 1, when ripped (record set)
    for (const TrackRecord& t : tracks) {
        std::error_code ec;
        if (t.endReason != kEndRunning || t.outputPath.empty() || !fs::exists(t.outputPath, ec))
            continue;
        if (IsHiddenTrack(t, toc)) {
            hidden = SheetTrack{&t, 0, SheetFileName(t.outputPath, folder)};
            continue;
        }
        const int number = DiscTrackNumber(t, toc);
        if (number <= 0) continue;
        std::erase_if(sheet, [number](const SheetTrack& s) { return s.number == number; });
        sheet.push_back({&t, number, SheetFileName(t.outputPath, folder)});
    }
    std::sort(sheet.begin(), sheet.end(),
              [](const SheetTrack& a, const SheetTrack& b) { return a.number < b.number; });
    if (sheet.empty()) {
        why = "no track was ripped";
        return {};
    }
    if (hidden.record && sheet.front().number != 1) hidden = {};  // no track 1 to hold it
    if (hidden.record) sheet.insert(sheet.begin(), hidden);
    for (const SheetTrack& s : sheet) {
        if (s.file.find_first_of("\"\r\n") != std::string::npos) {
            why = "the file name " + s.file + " cannot be written in a cue sheet";
            return {};
        }
    }
    if (hidden.record) sheet.erase(sheet.begin());
    const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc);
    const bool partial = sheet.size() != audio.size();
    // A sheet's track numbers run one after another: a batch with holes is numbered
    // from 1 (its REM line names the disc's numbers).
    bool consecutive = true;
    for (std::size_t i = 1; i < sheet.size(); ++i)
        consecutive = consecutive && sheet[i].number == sheet[i - 1].number + 1;

    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };
    line(std::string("REM COMMENT \"trackmill ") + TRACKMILL_VERSION + "\"");
    char cddb[16];
    std::snprintf(cddb, sizeof cddb, "%08X", cd::CddbDiscId(toc));
    line(std::string("REM DISCID ") + cddb);
    const std::string mb = cd::MusicBrainzDiscId(toc);
    if (!mb.empty()) line("REM MUSICBRAINZ_DISCID " + mb);
    line("REM ACCURATERIP_ID " + cd::AccurateRipIds(toc).Text());
    if (partial) {
        std::string text = "only tracks " + NumberRuns(sheet) + " of the disc's " +
                           std::to_string(audio.size()) + " audio tracks were ripped";
        if (!consecutive) text += "; they are numbered from 1 here";
        line("REM PARTIAL " + Quoted(text));
    }
    if (!details.catalog.empty()) line("CATALOG " + details.catalog);
    if (!names.disc.title.empty()) line("TITLE " + Quoted(names.disc.title));
    if (!names.disc.performer.empty()) line("PERFORMER " + Quoted(names.disc.performer));

    const int firstAudio = audio.empty() ? 0 : audio.front().number;
    for (std::size_t i = 0; i < sheet.size(); ++i) {
        const SheetTrack& s = sheet[i];
        const TrackDetails* d = details.Track(s.number);
        const int number = consecutive ? s.number : static_cast<int>(i) + 1;
        // The pregap: as the disc gives it; before the disc's first audio track,
        // everything ahead of its start.
        std::uint32_t pregap = d && d->pregapFrames > 0 ? std::uint32_t(d->pregapFrames) : 0;
        if (s.number == firstAudio && (!d || d->pregapFrames < 0))
            pregap = s.record->entry.startLba;
        // The pregap lies at the end of the previous file when that file holds the
        // track before this one on the disc (or, before track 1, the hidden audio);
        // otherwise no file has it.
        const SheetTrack* hiddenFile = hidden.record ? &hidden : nullptr;
        const SheetTrack* previous = i > 0 && sheet[i - 1].number + 1 == s.number ? &sheet[i - 1]
                                     : i == 0 && s.number == 1                    ? hiddenFile
                                                                                  : nullptr;
        if (previous && previous == hiddenFile) pregap = hidden.record->entry.lengthFrames;
        const bool inPreviousFile = pregap > 0 && previous;
        std::string trackLines = "  TRACK " + TrackWord(number) + " AUDIO\n";
        auto trackLine = [&trackLines](const std::string& text) {
            trackLines += "    " + text + "\n";
        };
        if (auto n = names.tracks.find(s.number); n != names.tracks.end()) {
            if (!n->second.title.empty()) trackLine("TITLE " + Quoted(n->second.title));
            if (!n->second.performer.empty()) trackLine("PERFORMER " + Quoted(n->second.performer));
        }
        if (d && (d->copyPermitted || d->preEmphasis || d->fourChannel)) {
            std::string flags = "FLAGS";
            if (d->copyPermitted) flags += " DCP";
            if (d->fourChannel) flags += " 4CH";
            if (d->preEmphasis) flags += " PRE";
            trackLine(flags);
        }
        if (d && !d->isrc.empty()) trackLine("ISRC " + d->isrc);
        const std::string fileLine =
            "FILE " + Quoted(s.file) + " " + FileType(s.record->outputPath) + "\n";
        if (inPreviousFile) {
            const std::uint32_t length = previous->record->entry.lengthFrames;
            trackLine("INDEX 00 " + CueTime(length - std::min(pregap, length)));
            if (previous == hiddenFile)
                out += "FILE " + Quoted(hidden.file) + " " + FileType(hidden.record->outputPath) +
                       "\n";
            out += trackLines + fileLine;
        } else {
            if (pregap > 0) trackLine("PREGAP " + CueTime(pregap));
            out += fileLine + trackLines;
        }
        out += "    INDEX 01 00:00:00\n";
    }
    return out;
}

std::string CueSheetPathFor(const std::string& logPath) {
    const std::size_t dot = logPath.rfind(".log");
    return (dot != std::string::npos && dot + 4 == logPath.size() ? logPath.substr(0, dot)
                                                                  : logPath) +
           ".cue";
}

bool WriteCueSheet(const std::string& path, const std::string& text, std::string& error) {
    // "x": never replace an existing file.
    FILE* f = std::fopen(path.c_str(), "wx");
    if (!f) {
        error = "could not be created: " + std::string(std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        error = "could not be written: " + std::string(std::strerror(errno));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace rip
