#include "mpvTracks.h"

#include "mpvCommands.h"

#include <algorithm>

using mpvMessage::integer;
using mpvMessage::text;
using nlohmann::json;

namespace {

// What mpv's own Matroska reader calls a chapter that has no name: the core names it instead.
const char kUnnamed[] = "(unnamed)";

bool integral(const json& object, const char* key)
{
    const auto f = object.find(key);
    return f != object.end() && f->is_number_integer();
}

bool flag(const json& track, const char* key)
{
    const auto f = track.find(key);
    return f != track.end() && f->is_boolean() && f->get<bool>();
}

// The main selection: a secondary subtitle (secondary-sid) is selected too, as selection 1.
bool mainSelection(const json& track)
{
    return flag(track, "selected") &&
           (!track.contains("main-selection") ||
            (integral(track, "main-selection") && integer(track, "main-selection") == 0));
}

bool sameTrack(const Track& a, const Track& b)
{
    return a.id == b.id && a.language == b.language && a.title == b.title &&
           a.external == b.external;
}

bool sameList(const std::vector<Track>& a, const std::vector<Track>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameTrack);
}

} // namespace

ClipTracks clipTracks(const json& trackList, const json& chapterList,
                      const std::vector<Sidecar>& sidecars)
{
    ClipTracks out;
    std::vector<std::pair<std::string, Track>> files; // subtitle files, by mpv's name for them
    for (const json& t : trackList.is_array() ? trackList : json::array()) {
        const std::string type = t.is_object() ? text(t, "type") : "";
        if ((type != "audio" && type != "sub") || !integral(t, "id"))
            continue;
        Track track{int(integer(t, "id")), text(t, "lang"), text(t, "title"), flag(t, "external")};
        int& on = type == "audio" ? out.audioOn : out.subtitleOn;
        if (mainSelection(t))
            on = track.id;
        if (type == "audio")
            out.audio.push_back(track);
        else if (!track.external)
            out.subtitles.push_back(track);
        else
            files.emplace_back(text(t, "external-filename"), track);
    }
    // Ours in the order given, each taken once; then the others in mpv's order.
    for (const Sidecar& s : sidecars) {
        const auto found = std::find_if(files.begin(), files.end(),
                                        [&](const auto& f) { return f.first == s.url; });
        if (found == files.end())
            continue;
        found->second.title = s.path;
        out.subtitles.push_back(found->second);
        files.erase(found);
    }
    for (auto& [name, track] : files) {
        track.title = name;
        out.subtitles.push_back(track);
    }
    for (const json& c : chapterList.is_array() ? chapterList : json::array()) {
        const auto time = c.is_object() ? c.find("time") : c.end();
        if (time == c.end() || !time->is_number())
            continue;
        const std::string title = text(c, "title");
        out.chapters.push_back({time->get<double>(), title == kUnnamed ? "" : title});
    }
    return out;
}

bool sameTracks(const ClipTracks& a, const ClipTracks& b)
{
    const auto sameChapter = [](const Chapter& x, const Chapter& y) {
        return x.start == y.start && x.title == y.title;
    };
    return a.audioOn == b.audioOn && a.subtitleOn == b.subtitleOn && sameList(a.audio, b.audio) &&
           sameList(a.subtitles, b.subtitles) &&
           std::equal(a.chapters.begin(), a.chapters.end(), b.chapters.begin(), b.chapters.end(),
                      sameChapter);
}
