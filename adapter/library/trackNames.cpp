#include "trackNames.h"

#include "languageNames.h"
#include "mediaSuffixes.h"
#include "mediaTree.h"
#include "paths.h"
#include "translate.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

const char* const kSubtitleSuffixes[] = {".srt", ".ass", ".ssa", ".sub"};

// The length of the name's subtitle suffix (any case), 0 when it has none; a name that is all
// suffix has none.
size_t subtitleSuffix(const std::string& name)
{
    for (const char* suffix : kSubtitleSuffixes) {
        const size_t n = std::char_traits<char>::length(suffix);
        if (name.size() > n && sameSuffix(std::string_view(name).substr(name.size() - n), suffix))
            return n;
    }
    return 0;
}

// The name without a subtitle suffix, or "" when it has none.
std::string withoutSubtitleSuffix(const std::string& name)
{
    const size_t n = subtitleSuffix(name);
    return n ? name.substr(0, name.size() - n) : std::string();
}

// The LANG of a subtitle file NAME.LANG.EXT, when the table knows it; else "".
std::string languageInName(const std::string& path)
{
    const std::string stem = withoutSubtitleSuffix(baseName(path));
    const size_t dot = stem.rfind('.');
    if (dot == std::string::npos || languageName(stem.substr(dot + 1)).empty())
        return {};
    return stem.substr(dot + 1);
}

// The track's language as its file or its name gives it, "" when neither does ("und" is
// Matroska's word for that).
std::string languageOf(const Track& t)
{
    const std::string language =
        t.language.empty() && t.external ? languageInName(t.title) : t.language;
    return languageCode(language) == "und" ? std::string() : language;
}

// The track in the language: the one playing if it is, else the first; nullptr when none is.
const Track* inLanguage(const std::vector<Track>& tracks, int on, const std::string& code)
{
    const Track* found = nullptr;
    for (const Track& t : tracks) {
        const std::string language = languageOf(t);
        if (language.empty() || languageCode(language) != code)
            continue;
        if (t.id == on)
            return &t;
        if (!found)
            found = &t;
    }
    return found;
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string trackLabel(const Track& t, int number)
{
    const std::string language = languageOf(t);
    std::string name = languageName(language);
    if (name.empty())
        name = language; // a language the table does not know: its code says more than nothing
    // A file beside the clip has its path for a title: not a name for the menu.
    const std::string title = t.external ? std::string() : t.title;
    // Files often title a track by its language alone: said once is enough.
    if (!name.empty() && !title.empty() && !sameText(title, name) && !sameText(title, language))
        return name + " (" + title + ")";
    if (!name.empty())
        return name;
    if (!title.empty())
        return title;
    // Translators: a sound or subtitle track with neither language nor title; %d is its number.
    return tr("Track %d", number);
}

TrackChoice chooseByLanguage(const ClipTracks& tracks, const std::vector<std::string>& languages)
{
    TrackChoice choice;
    choice.subtitle = TrackChoice::kOff;
    size_t soundIn = languages.size();
    for (size_t i = 0; i < languages.size() && soundIn == languages.size(); ++i) {
        if (const Track* t = inLanguage(tracks.audio, tracks.audioOn, languageCode(languages[i]))) {
            choice.audio = t->id;
            soundIn = i;
        }
    }
    if (soundIn == 0)
        return choice; // the viewer understands the sound best: no subtitles in the way
    for (const std::string& language : languages) {
        if (const Track* t =
                inLanguage(tracks.subtitles, tracks.subtitleOn, languageCode(language))) {
            choice.subtitle = t->id;
            break;
        }
    }
    return choice;
}

std::string clockTime(double seconds)
{
    // Players give times such as 599.9996 for 10:00; below a millisecond is not a difference.
    const double whole =
        std::isfinite(seconds) && seconds > 0 ? std::floor(std::min(seconds, 1e9) + 0.0005) : 0;
    const long long s = static_cast<long long>(whole);
    char text[32];
    if (s >= 3600)
        snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::vector<std::string> sidecarSubtitles(const std::string& clip,
                                          const std::vector<std::string>& namesInFolder)
{
    const std::string name = baseName(clip);
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::vector<std::string> found;
    if (base.empty())
        return found;
    for (const std::string& candidate : namesInFolder) {
        if (candidate.compare(0, base.size(), base) != 0)
            continue;
        const std::string stem = withoutSubtitleSuffix(candidate);
        if (stem.size() < base.size())
            continue;
        const std::string rest = stem.substr(base.size()); // "" or ".LANG"
        // Only a language after the base: "Film.Extended.srt" is another clip's.
        if (rest.empty() ||
            (rest[0] == '.' && rest.find('.', 1) == std::string::npos &&
             !languageName(rest.substr(1)).empty() &&
             std::none_of(namesInFolder.begin(), namesInFolder.end(), [&](const std::string& n) {
                 return mediaKind(n) != MediaKind::None && withoutMediaSuffix(n) == stem;
             })))
            found.push_back(candidate);
    }
    std::sort(found.begin(), found.end(), naturalLess);
    return found;
}

bool isSubtitleFile(const std::string& name)
{
    return subtitleSuffix(name) > 0;
}

std::string shownInListedMenus(const std::vector<std::string>& languages)
{
    // The words of listed entries, as the viewer reads them: their font must have them.
    std::string shown = "● 0123456789:() ";
    for (const char* words : {"Resume from %s", "From the start", "Chapter %d", "Track %d", "Off"})
        shown += std::string(tr(words)) + " ";
    for (const std::string& l : languages)
        shown += " " + languageName(l);
    return shown;
}
