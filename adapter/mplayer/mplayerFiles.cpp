#include "mplayerFiles.h"

#include "mediaSuffixes.h"

#include <cctype>
#include <cstdio>

namespace {

// The file's suffix, lower case, when it is a plain one: it helps the player tell the format.
std::string plainSuffix(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos ||
        path.size() - dot > 6)
        return {};
    std::string suffix;
    for (size_t i = dot + 1; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (!std::isalnum(c))
            return {};
        suffix += char(std::tolower(c));
    }
    return suffix.empty() ? suffix : "." + suffix;
}

// Whether a quoted argument of a slave command carries the path as it is, and the player's
// output gives it back so: no quotes, no backslash (not taken out before a quote), no control
// character, no blank at the end (lines are read without the blanks around them).
bool plainPath(const std::string& path)
{
    for (const char c : path) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || c == '\'' || c == '"' || c == '\\')
            return false;
    }
    return !path.empty() && path.back() != ' ';
}

} // namespace

std::string MPlayerFiles::base(const Known& k) const
{
    return folder_ + "/" + std::to_string(k.number);
}

MPlayerFiles::Made MPlayerFiles::aliasFor(const std::string& real)
{
    Made made;
    auto known = known_.find(real);
    const bool first = known == known_.end();
    if (first)
        known = known_.emplace(real, Known{int(known_.size()) + 1, plainSuffix(real)}).first;
    const std::string plain = base(known->second) + known->second.suffix;
    const bool song = mediaKind(real) == MediaKind::Song && !songPicture_.empty();
    const std::string probe = base(known->second) + ".probe" + known->second.suffix;
    if (first) {
        made.links[plain] = absolute(real, cwd_);
        aliases_[plain] = {plain, Plain, real};
        if (song) {
            made.links[probe] = absolute(real, cwd_);
            // Opened without sound, only to hear how long it is.
            made.texts[probe + ".conf"] = "ao=null\nidentify=yes\n";
            aliases_[probe] = {probe, Probe, real};
        }
    }
    made.path = song ? probe : plain;
    return made;
}

MPlayerFiles::Made MPlayerFiles::pictureFor(const std::string& real, double seconds)
{
    Made made = aliasFor(real);
    const Known& k = known_.at(real);
    const std::string picture = base(k) + ".picture.mkv";
    if (aliases_.find(picture) == aliases_.end()) {
        made.links[picture] = songPicture_;
        aliases_[picture] = {picture, Picture, real};
    }
    std::string text = "audiofile=" + base(k) + k.suffix + "\n";
    if (seconds > 0) {
        char end[64];
        snprintf(end, sizeof end, "endpos=%.3f\n", seconds);
        text += end;
    }
    made.texts[picture + ".conf"] = text;
    made.path = picture;
    return made;
}

MPlayerFiles::Alias MPlayerFiles::named(const std::string& path) const
{
    const auto a = aliases_.find(path);
    return a != aliases_.end() ? a->second : Alias{path, Plain, path};
}

MPlayerFiles::Made MPlayerFiles::subtitleFor(const std::string& real)
{
    const std::string whole = absolute(real, cwd_);
    if (plainPath(whole)) {
        Made made;
        made.path = whole;
        return made;
    }
    return aliasFor(real);
}
