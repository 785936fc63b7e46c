// The disc's table of contents as read from the drive, and the identifiers other
// programs and databases know the disc by: the CDDB (freedb) disc id, the
// MusicBrainz disc id, the AccurateRip ids and the CTDB (CUETools database) id.
//
// Addresses are logical block addresses as the drive reports them (a pressed
// disc's first track at 0); the identifiers add the 150-frame lead-in gap where
// their formulas count from the disc's absolute start.
//
// An enhanced CD (audio session, then a data session) is identified as each
// database expects it: the CDDB id counts every track and the true lead-out; the
// MusicBrainz id takes the audio tracks only, its audio session ending 11400 frames
// before the first trailing data track; the AccurateRip ids take the audio tracks'
// addresses and count and the true lead-out; the CTDB id takes the audio tracks and
// the audio session's end, counted from the first audio track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cdaccess/CdAccess.h"

namespace cd {

struct TocEntry {
    int number = 0;
    std::uint32_t startLba = 0;
    bool data = false;
};

struct TableOfContents {
    int firstTrack = 0;
    int lastTrack = 0;
    std::vector<TocEntry> tracks;  // firstTrack..lastTrack in order
    std::uint32_t leadOut = 0;     // first frame after the last track
};

// The frames between the end of an enhanced CD's audio session and its data track.
inline constexpr std::uint32_t kSessionGapFrames = 11400;

// Decodes an 804-byte table-of-contents record. False when it lists no track or
// its addresses do not rise.
bool TocFromRecord(const TocRecord& record, TableOfContents& out);
// Reads the disc's table of contents through the CD access library (code 36, then
// ReadTOC). False when it cannot be read or is not valid.
bool ReadTableOfContents(std::uint32_t handle, TableOfContents& out);

// The audio tracks in order, and the frame after the last audio track's audio:
// before a trailing data track that is 11400 frames before it (never before the
// track's own start), else the lead-out.
std::vector<TocEntry> AudioTracks(const TableOfContents& toc);
std::uint32_t AudioSessionEnd(const TableOfContents& toc);

// The CDDB disc id: every track and the true lead-out.
std::uint32_t CddbDiscId(const TableOfContents& toc);
// The MusicBrainz disc id (28 characters), computed by libdiscid. Empty when the
// disc has no audio track or libdiscid refuses the layout.
std::string MusicBrainzDiscId(const TableOfContents& toc);

struct AccurateRipDiscId {
    int audioTracks = 0;
    std::uint32_t id1 = 0;
    std::uint32_t id2 = 0;
    std::uint32_t cddb = 0;
    // "010-00164419-00b9f6e2-9e11600b"
    std::string Text() const;
    // The record's path in the database: "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin".
    std::string RecordPath() const;
};
AccurateRipDiscId AccurateRipIds(const TableOfContents& toc);

// The CTDB's id of the disc (28 characters): every audio track's start after the
// first and the audio session's end, each less the first audio track's start, as
// 8-digit uppercase hex; that text padded with '0' to 800 characters, hashed with
// SHA-1 and written in base64 with '.', '_' and '-' for '+', '/' and '='. Empty
// when the disc has no audio track.
std::string CtdbTocId(const TableOfContents& toc);
// The table of contents as a CTDB lookup names it: every track's start ('-' before a
// data track's) and the lead-out, joined by ':' ("0:11413:25024:-45713:55220").
std::string CtdbLookupToc(const TableOfContents& toc);

}  // namespace cd
