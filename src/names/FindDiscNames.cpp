#include "names/FindDiscNames.h"

#include "cd/DiscIds.h"
#include "core/Settings.h"
#include "names/CdTextNames.h"
#include "names/NamesCache.h"
#include "platform/Profile.h"

namespace names {

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        if (!text.empty()) text += separator;
        text += p;
    }
    return text;
}

int IndexOf(const std::vector<Release>& releases, const std::string& id) {
    for (std::size_t i = 0; i < releases.size(); ++i)
        if (releases[i].names.musicBrainzReleaseId == id) return static_cast<int>(i);
    return -1;
}

}  // namespace

bool ReadMusicBrainzSetting() {
    return platform::ReadProfileInt(core::kSettingsSection, kKeyMusicBrainz, 1,
                                    core::SettingsFilePath()) != 0;
}

NamesAnswer FindDiscNames(const NamesQuery& query) {
    NamesAnswer answer;
    answer.remember = query.remember;
    cd::TableOfContents toc;
    std::vector<int> audio;
    if (cd::ReadTableOfContents(query.handle, toc)) {
        answer.discId = cd::MusicBrainzDiscId(toc);
        for (const cd::TocEntry& t : cd::AudioTracks(toc)) audio.push_back(t.number);
    }

    DiscNames kept;
    const bool haveKept = !answer.discId.empty() && LoadCachedNames(answer.discId, kept);
    if (haveKept && query.useCache) {
        answer.names = kept;
        answer.fromCache = true;
        answer.log.push_back("names kept for disc " + answer.discId);
        return answer;
    }

    if (!query.network) {
        answer.log.push_back("MusicBrainz: not asked (the lookup is off)");
    } else if (answer.discId.empty()) {
        answer.log.push_back("MusicBrainz: not asked (the disc has no MusicBrainz disc id)");
    } else {
        LookupResult found = LookUpDiscId(answer.discId, audio, query.timeoutMs, query.cancelled);
        if (found.status == LookupResult::Status::Found) {
            answer.releases = std::move(found.releases);
            answer.best = BestRelease(answer.releases, static_cast<int>(audio.size()));
            answer.log.push_back("MusicBrainz: " + std::to_string(answer.releases.size()) +
                                 (answer.releases.size() == 1 ? " release" : " releases") +
                                 " for disc " + answer.discId);
            // The release asked for, else the one chosen before, else the only one.
            int pick = query.releaseId.empty() ? -1 : IndexOf(answer.releases, query.releaseId);
            if (!query.releaseId.empty() && pick < 0)
                answer.log.push_back("MusicBrainz: release " + query.releaseId +
                                     " does not hold this disc");
            if (pick < 0 && haveKept && !kept.musicBrainzReleaseId.empty())
                answer.best =
                    std::max(answer.best, IndexOf(answer.releases, kept.musicBrainzReleaseId));
            if (pick < 0 && answer.releases.size() == 1) pick = 0;
            if (pick >= 0) {
                ChooseRelease(answer, pick);
            } else {
                answer.names = answer.releases[static_cast<std::size_t>(answer.best)].names;
                answer.chosen = answer.best;
                answer.needsChoice = true;
            }
            return answer;
        }
        answer.log.push_back("MusicBrainz: " +
                             std::string(found.status == LookupResult::Status::Cancelled
                                             ? "cancelled"
                                             : "not found (" + found.problem + ")"));
    }

    answer.names = ReadCdTextNames(query.handle);
    answer.names.musicBrainzDiscId = answer.discId;
    answer.log.push_back(answer.names.Known() ? "names from the disc's CD-Text"
                                              : "no names known for the disc");
    return answer;
}

void ChooseRelease(NamesAnswer& answer, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= answer.releases.size()) return;
    answer.chosen = index;
    answer.needsChoice = false;
    answer.names = answer.releases[static_cast<std::size_t>(index)].names;
    answer.log.push_back("MusicBrainz: release " + answer.names.musicBrainzReleaseId + " chosen (" +
                         DescribeRelease(answer.releases[static_cast<std::size_t>(index)]) + ")");
    if (answer.remember) SaveCachedNames(answer.names);
}

std::string DescribeRelease(const Release& r) {
    const DiscNames& n = r.names;
    std::string format = r.format.empty() ? std::string("?") : r.format;
    if (n.discCount > 1)
        format += " " + std::to_string(n.discNumber) + "/" + std::to_string(n.discCount);
    return Joined({n.album, n.albumArtist, Joined({n.year, r.country}, " "),
                   Joined({n.label, n.catalogueNumber}, " "),
                   format + ", " + std::to_string(r.trackCount) + " tracks"},
                  " / ");
}

std::vector<std::string> ReleaseList(const NamesAnswer& answer) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < answer.releases.size(); ++i)
        lines.push_back(std::string(static_cast<int>(i) == answer.best ? "* " : "  ") +
                        answer.releases[i].names.musicBrainzReleaseId + "  " +
                        DescribeRelease(answer.releases[i]));
    return lines;
}

std::string RowTitle(const DiscNames& names, int trackNumber, const std::string& fallback) {
    const TrackNames* t = names.Track(trackNumber);
    if (!t || t->title.empty()) return fallback;
    const std::string number = std::to_string(trackNumber);
    return (number.size() < 2 ? "0" + number : number) + " - " + t->title;
}

std::string NamesSourceLine(const DiscNames& n) {
    switch (n.source) {
        case NamesSource::MusicBrainz:
            return "names: MusicBrainz release " + n.musicBrainzReleaseId + " (" +
                   Joined({n.album, n.albumArtist}, " / ") + ")";
        case NamesSource::CdText:
            return "names: CD-Text";
        case NamesSource::Edited:
            return n.musicBrainzReleaseId.empty()
                       ? std::string("names: edited by hand")
                       : "names: edited by hand, from MusicBrainz release " +
                             n.musicBrainzReleaseId;
        case NamesSource::None:
            break;
    }
    return "names: none";
}

}  // namespace names
