#include "mplayerTracks.h"

#include <cstdlib>

namespace {

// More chapters or tracks than that are no file's: lines that say so are not believed.
const int kMaxChapters = 10000;
const size_t kMaxTracks = 1000;

// A number at the start of `text`, digits only; -1 when there is none. `end` is where it stopped.
int number(const std::string& text, size_t* end)
{
    size_t i = 0;
    long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 9)
        value = value * 10 + (text[i++] - '0');
    *end = i;
    return i == 0 ? -1 : int(value);
}

// The track of that id, new (`added`) when it was not known; null past the bound.
Track* track(std::vector<Track>& list, int id, bool* added)
{
    *added = false;
    for (Track& t : list) {
        if (t.id == id)
            return &t;
    }
    if (list.size() >= kMaxTracks)
        return nullptr;
    *added = true;
    list.push_back({id, {}, {}, false});
    return &list.back();
}

// Whether it changed.
bool set(std::string& field, const std::string& value)
{
    const bool changed = field != value;
    field = value;
    return changed;
}

// "N_LANG" or "N_NAME" after a track's prefix: the track's language or title.
bool trackDetail(std::vector<Track>& list, const std::string& rest, const std::string& value)
{
    size_t end;
    const int id = number(rest, &end);
    if (id < 0)
        return false;
    const std::string what = rest.substr(end);
    if (what != "_LANG" && what != "_NAME")
        return false;
    bool added;
    Track* t = track(list, id, &added);
    return t && (set(what == "_LANG" ? t->language : t->title, value) || added);
}

bool startsWith(const std::string& text, const char* prefix, std::string* rest)
{
    const std::string p(prefix);
    if (text.compare(0, p.size(), p) != 0)
        return false;
    *rest = text.substr(p.size());
    return true;
}

} // namespace

void MPlayerTracks::clear()
{
    tracks_ = {};
    loads_.clear();
    fileId_ = -1;
}

void MPlayerTracks::loading(const std::string& sent, const std::string& given)
{
    loads_.push_back({sent, given});
}

bool MPlayerTracks::fileLoaded(const std::string& name)
{
    // Files that come before it in the order were not loaded.
    while (!loads_.empty() && loads_.front().sent != name)
        loads_.pop_front();
    if (loads_.empty() || fileId_ < 0)
        return false;
    tracks_.subtitles.push_back({kFileSubtitles + fileId_, {}, loads_.front().given, true});
    loads_.pop_front();
    fileId_ = -1;
    return false; // not the file's own: the loads report themselves
}

bool MPlayerTracks::read(const std::string& line)
{
    const size_t equals = line.find('=');
    if (line.compare(0, 3, "ID_") != 0 || equals == std::string::npos)
        return false;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    std::string rest;
    size_t end;
    const int n = number(value, &end);
    if (key == "ID_AUDIO_ID" || key == "ID_SUBTITLE_ID" || key == "ID_CHAPTER_ID") {
        if (n < 0 || end != value.size())
            return false;
        if (key == "ID_CHAPTER_ID") {
            if (n >= kMaxChapters)
                return false;
            if (size_t(n) < tracks_.chapters.size())
                return false;
            tracks_.chapters.resize(size_t(n) + 1);
            return true;
        }
        bool added;
        track(key == "ID_AUDIO_ID" ? tracks_.audio : tracks_.subtitles, n, &added);
        return added;
    }
    if (startsWith(key, "ID_AID_", &rest))
        return trackDetail(tracks_.audio, rest, value);
    if (startsWith(key, "ID_SID_", &rest))
        return trackDetail(tracks_.subtitles, rest, value);
    if (startsWith(key, "ID_CHAPTER_", &rest)) {
        const int c = number(rest, &end);
        const std::string what = rest.substr(end);
        if (c < 0 || size_t(c) >= tracks_.chapters.size())
            return false;
        Chapter& chapter = tracks_.chapters[size_t(c)];
        if (what == "_NAME")
            return set(chapter.title, value);
        if (what != "_START")
            return false;
        const double start = atof(value.c_str()) / 1000;
        const bool changed = chapter.start != start;
        chapter.start = start;
        return changed;
    }
    if (key == "ID_FILE_SUB_ID")
        fileId_ = end == value.size() ? n : -1;
    else if (key == "ID_FILE_SUB_FILENAME")
        return fileLoaded(value);
    return false;
}
