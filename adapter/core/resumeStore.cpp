#include "resumeStore.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace {

// Version 1 held positions alone; version 2 adds the tracks chosen, and still reads version 1.
const char kHeader1[] = "tamblin positions 1";
const char kHeader2[] = "tamblin positions 2";

bool keepsNothing(double position, const TrackChoice& c)
{
    return position == 0 && c.audio == TrackChoice::kKeep && c.subtitle == TrackChoice::kKeep;
}

// A track id as the file holds it: kKeep, kOff or the player's own id.
bool readId(const char* from, char** end, int* id)
{
    const long value = strtol(from, end, 10);
    *id = int(value);
    return *end != from && **end == ' ' && value >= TrackChoice::kKeep && value < 1000000;
}

} // namespace

bool ResumeStore::load(const std::string& text)
{
    entries_.clear();
    std::istringstream in(text);
    std::string line;
    bool good = bool(std::getline(in, line));
    const bool withChoice = line == kHeader2;
    good = good && (withChoice || line == kHeader1);
    std::vector<Entry> read;
    while (good && std::getline(in, line)) {
        // "POSITION LENGTH [AUDIO SUBTITLE ]/CLIP"
        Entry e;
        char* end = nullptr;
        e.position = strtod(line.c_str(), &end);
        char* end2 = nullptr;
        e.length = *end == ' ' ? strtod(end + 1, &end2) : NAN;
        good = end2 && *end2 == ' ' && std::isfinite(e.position) && std::isfinite(e.length) &&
               e.position >= 0 && e.length >= e.position;
        if (good && withChoice)
            good = readId(end2 + 1, &end, &e.choice.audio) &&
                   readId(end + 1, &end2, &e.choice.subtitle);
        good = good && end2[1] == '/';
        if (good) {
            e.clip = std::string(end2 + 1);
            read.push_back(std::move(e));
        }
    }
    notOurs_ = !good || read.size() > size_t(kMaxClips);
    if (notOurs_)
        return false;
    entries_ = std::move(read);
    return true;
}

std::string ResumeStore::text() const
{
    std::string text = std::string(kHeader2) + "\n";
    char number[96];
    for (const Entry& e : entries_) {
        snprintf(number, sizeof number, "%.3f %.3f %d %d ", e.position, e.length, e.choice.audio,
                 e.choice.subtitle);
        text += number + e.clip + "\n";
    }
    return text;
}

const ResumeStore::Entry* ResumeStore::find(const std::string& clip) const
{
    for (const Entry& e : entries_) {
        if (e.clip == clip)
            return &e;
    }
    return nullptr;
}

template <typename Change>
bool ResumeStore::update(const std::string& clip, bool newest, Change change)
{
    // A name with a line feed would break the file's lines: such a clip is never kept.
    if (clip.find('\n') != std::string::npos)
        return std::exchange(notOurs_, false);
    auto at = entries_.begin();
    while (at != entries_.end() && at->clip != clip)
        ++at;
    const bool had = at != entries_.end();
    Entry e = had ? *at : Entry{clip, 0, 0, {}};
    change(&e);
    const bool keeps = !keepsNothing(e.position, e.choice);
    const bool same = had && keeps && e.position == at->position && e.length == at->length &&
                      e.choice.audio == at->choice.audio &&
                      e.choice.subtitle == at->choice.subtitle &&
                      (!newest || at + 1 == entries_.end());
    const bool changed = !same && (had || keeps);
    if (changed) {
        if (had)
            at = entries_.erase(at);
        if (keeps)
            entries_.insert(newest ? entries_.end() : at, std::move(e));
        if (entries_.size() > size_t(kMaxClips))
            entries_.erase(entries_.begin());
    }
    return changed || std::exchange(notOurs_, false);
}

double ResumeStore::startAt(const std::string& clip) const
{
    const Entry* e = find(clip);
    return e ? e->position : 0;
}

TrackChoice ResumeStore::tracksFor(const std::string& clip) const
{
    const Entry* e = find(clip);
    return e ? e->choice : TrackChoice();
}

bool ResumeStore::left(const std::string& clip, double position, double length)
{
    const bool keep = position >= kResumeMarginSeconds && position < length - kResumeMarginSeconds;
    return update(clip, true, [&](Entry* e) {
        e->position = keep ? position : 0;
        e->length = keep ? length : 0;
    });
}

bool ResumeStore::finished(const std::string& clip)
{
    return update(clip, true, [](Entry* e) { e->position = e->length = 0; });
}

bool ResumeStore::chose(const std::string& clip, const TrackChoice& choice)
{
    return update(clip, true, [&](Entry* e) {
        if (choice.audio != TrackChoice::kKeep)
            e->choice.audio = choice.audio;
        if (choice.subtitle != TrackChoice::kKeep)
            e->choice.subtitle = choice.subtitle;
    });
}

bool ResumeStore::forgetPosition(const std::string& clip)
{
    return update(clip, false, [](Entry* e) { e->position = e->length = 0; });
}
