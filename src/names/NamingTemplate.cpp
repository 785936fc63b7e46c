#include "names/NamingTemplate.h"

#include <cstdio>
#include <vector>

#include "core/TextUtils.h"
#include "platform/Paths.h"

namespace names {

namespace {

constexpr std::size_t kMaxNameBytes = 200;

std::vector<std::string> SplitFolders(const std::string& pattern) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = pattern.find('/', from);
        parts.push_back(pattern.substr(from, slash - from));
        if (slash == std::string::npos) return parts;
        from = slash + 1;
    }
}

bool HasTrackField(const std::string& part) {
    for (std::size_t i = 0; i + 1 < part.size(); ++i) {
        if (part[i] != '%') continue;
        if (part[i + 1] == 'n' || part[i + 1] == 't') return true;
        ++i;  // "%%" is a percent sign, not the start of a field
    }
    return false;
}

// Cuts a name to at most kMaxNameBytes without splitting a UTF-8 character.
void CutName(std::string& name) {
    if (name.size() <= kMaxNameBytes) return;
    std::size_t cut = kMaxNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
}

std::string FieldValue(char field, const DiscNames& names, const TrackNames* track, int number) {
    switch (field) {
        case 'n': {
            char text[16];
            std::snprintf(text, sizeof text, "%02d", number);
            return text;
        }
        case 't':
            return track && !track->title.empty() ? track->title
                                                  : "Track " + std::to_string(number);
        case 'a':
            return track && !track->artist.empty() ? track->artist : names.albumArtist;
        case 'A':
            return names.albumArtist;
        case 'd':
            return names.album;
        case 'y':
            return names.year.substr(0, 4);
        case '%':
            return "%";
        default:
            return std::string("%") + field;
    }
}

}  // namespace

std::string EffectiveNamingTemplate(const std::string& setting) {
    return setting.empty() ? kDefaultNamingTemplate : setting;
}

std::string NamingTemplateProblem(const std::string& pattern) {
    if (pattern.empty()) return "the template is empty";
    const std::vector<std::string> parts = SplitFolders(pattern);
    for (const std::string& part : parts)
        if (part.empty()) return "a folder or file name of the template is empty";
    if (!HasTrackField(parts.back()))
        return "the file name holds neither %n nor %t, so every track would get the same name";
    return {};
}

std::string TrackFileStem(const std::string& pattern, const DiscNames& names, int number) {
    const TrackNames* track = names.Track(number);
    std::string path;
    for (const std::string& part : SplitFolders(pattern)) {
        std::string name;
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '%' && i + 1 < part.size()) {
                name += FieldValue(part[++i], names, track, number);
            } else {
                name += part[i];
            }
        }
        name = core::CleanFileName(name);
        CutName(name);
        if (name.empty() || name.find_first_not_of('.') == std::string::npos) name = "_";
        if (!path.empty()) path += platform::kPathSeparator;
        path += name;
    }
    return path;
}

}  // namespace names
