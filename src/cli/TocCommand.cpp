// trackmill --toc [--disc FILE]: the disc's table of contents as the drive reports it,
// whatever the source: the drive that opened, a header line, one tab-separated row
// per track (number, start address, length in frames and as MM:SS.FF, audio or
// data, pre-emphasis, copy permission, the pregap from index 00 to index 01; "-"
// where the source does not know), the lead-out, a line for audio hidden before
// track 1, and the identifiers the databases know the disc by, as the rip log names
// them.
#include <cstdio>

#include "cd/DiscIds.h"
#include "cd/DiscSession.h"
#include "cd/TrackTable.h"
#include "cdaccess/Drive.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace cli {

namespace {

const char* YesNo(int flag) {
    return flag < 0 ? "-" : flag ? "yes" : "no";
}

std::string Msf(std::uint32_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u.%02u", frames / kFramesPerSecond / 60,
                  frames / kFramesPerSecond % 60, frames % kFramesPerSecond);
    return text;
}

}  // namespace

int RunTocCommand(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::Toc) return UsageError("--toc expected");

    cd::DiscState disc;
    if (!cd::OpenDisc(DiscArguments(line), disc, error)) {
        PrintError(error);
        return kExitUsage;
    }
    TocRecord record{};
    ModifyCDParms(disc.handle, 36, 0);
    if (ReadTOC(disc.handle, &record) != 1 || record.firstTrack > record.lastTrack) {
        PrintError("the table of contents of the disc in " + disc.driveName + " could not be read");
        return kExitUsage;
    }
    // What the drive or image knows beyond the record: flags and pregaps.
    cdaccess::DiscToc known;
    if (auto drive = cdaccess::DriveForHandle(disc.handle)) drive->ReadToc(known);

    std::printf("%s\n", disc.driveName.c_str());
    std::printf("track\tstart\tframes\ttime\ttype\temphasis\tcopy\tpregap\n");
    const int count = record.lastTrack - record.firstTrack + 1;
    for (int k = 0; k < count && k + 1 < kTocDescriptors; ++k) {
        const TocDescriptor& here = record.descriptors[k];
        const std::uint32_t start = cd::DecodeBigEndian32(here.address);
        const std::uint32_t next = cd::DecodeBigEndian32(record.descriptors[k + 1].address);
        const std::uint32_t frames = next > start ? next - start : 0;
        const cdaccess::TocTrack* extra = nullptr;
        for (const auto& t : known.tracks)
            if (t.number == record.firstTrack + k) extra = &t;
        const std::string pregap =
            extra && extra->pregapFrames >= 0 ? std::to_string(extra->pregapFrames) : "-";
        std::printf("%d\t%u\t%u\t%s\t%s\t%s\t%s\t%s\n", record.firstTrack + k, start, frames,
                    Msf(frames).c_str(), (here.control & kTocDataTrack) ? "data" : "audio",
                    YesNo(extra ? extra->preEmphasis : -1),
                    YesNo(extra ? extra->copyPermitted : -1), pregap.c_str());
    }
    std::printf("lead-out\t%u\n", cd::DecodeBigEndian32(record.descriptors[count].address));
    if (const std::uint32_t hidden = cd::HiddenAudioFrames(disc.handle))
        std::printf("hidden audio before track 1: %u frames\n", hidden);
    cd::TableOfContents toc;
    if (cd::TocFromRecord(record, toc)) {
        const std::string musicBrainz = cd::MusicBrainzDiscId(toc);
        std::printf("cddb id: %08x\n", cd::CddbDiscId(toc));
        std::printf("musicbrainz id: %s\n", musicBrainz.empty() ? "(none)" : musicBrainz.c_str());
        std::printf("accuraterip id: %s\n", cd::AccurateRipIds(toc).Text().c_str());
        const std::string ctdb = cd::CtdbTocId(toc);
        std::printf("ctdb id: %s\n", ctdb.empty() ? "(none)" : ctdb.c_str());
    }
    return kExitOk;
}

}  // namespace cli
