#include "resumeStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace {

const char kHeader[] = "tamblin positions 1";

} // namespace

bool ResumeStore::load(const std::string& text)
{
    entries_.clear();
    std::istringstream in(text);
    std::string line;
    bool good = std::getline(in, line) && line == kHeader;
    std::vector<Entry> read;
    while (good && std::getline(in, line)) {
        char* end = nullptr;
        const double position = strtod(line.c_str(), &end);
        char* end2 = nullptr;
        const double length = *end == ' ' ? strtod(end + 1, &end2) : NAN;
        good = end2 && *end2 == ' ' && end2[1] == '/' && std::isfinite(position) &&
               std::isfinite(length) && position >= 0 && length >= position;
        if (good)
            read.push_back({std::string(end2 + 1), position, length});
    }
    notOurs_ = !good || read.size() > size_t(kMaxClips);
    if (notOurs_)
        return false;
    entries_ = std::move(read);
    return true;
}

std::string ResumeStore::text() const
{
    std::string text = std::string(kHeader) + "\n";
    char number[64];
    for (const Entry& e : entries_) {
        snprintf(number, sizeof number, "%.3f %.3f ", e.position, e.length);
        text += number + e.clip + "\n";
    }
    return text;
}

double ResumeStore::startAt(const std::string& clip) const
{
    for (const Entry& e : entries_) {
        if (e.clip == clip)
            return e.position;
    }
    return 0;
}

bool ResumeStore::left(const std::string& clip, double position, double length)
{
    const bool keep = position >= kResumeMarginSeconds &&
                      position < length - kResumeMarginSeconds &&
                      clip.find('\n') == std::string::npos;
    // Left again where it was last left: already the newest entry, as it is.
    if (keep && !entries_.empty() && entries_.back().clip == clip &&
        entries_.back().position == position && entries_.back().length == length)
        return changed(false);
    const bool forgot = forget(clip);
    if (!keep)
        return changed(forgot);
    entries_.push_back({clip, position, length});
    if (entries_.size() > size_t(kMaxClips))
        entries_.erase(entries_.begin());
    return changed(true);
}

bool ResumeStore::finished(const std::string& clip)
{
    return changed(forget(clip));
}

bool ResumeStore::changed(bool changed)
{
    return changed || std::exchange(notOurs_, false);
}

bool ResumeStore::forget(const std::string& clip)
{
    const size_t before = entries_.size();
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.clip == clip; }),
                   entries_.end());
    return entries_.size() != before;
}
