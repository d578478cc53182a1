#include "mediaSuffixes.h"

#include <algorithm>

const MediaSuffix kMediaSuffixes[] = {
    // Clips
    {"avi", MediaKind::Clip},
    {"mp4", MediaKind::Clip},
    {"m4v", MediaKind::Clip},
    {"mkv", MediaKind::Clip},
    {"webm", MediaKind::Clip},
    {"mov", MediaKind::Clip},
    {"mpg", MediaKind::Clip},
    {"mpeg", MediaKind::Clip},
    {"m2v", MediaKind::Clip},
    {"ogv", MediaKind::Clip},
    {"ogm", MediaKind::Clip},
    {"flv", MediaKind::Clip},
    {"f4v", MediaKind::Clip},
    {"wmv", MediaKind::Clip},
    {"asf", MediaKind::Clip},
    {"3gp", MediaKind::Clip},
    {"3g2", MediaKind::Clip},
    {"ts", MediaKind::Clip},
    {"m2ts", MediaKind::Clip},
    {"mts", MediaKind::Clip},
    {"vob", MediaKind::Clip},
    {"divx", MediaKind::Clip},
    {"rm", MediaKind::Clip},
    {"rmvb", MediaKind::Clip},
    // Songs
    {"mp3", MediaKind::Song},
    {"mp2", MediaKind::Song},
    {"m4a", MediaKind::Song},
    {"aac", MediaKind::Song},
    {"flac", MediaKind::Song},
    {"wav", MediaKind::Song},
    {"ogg", MediaKind::Song},
    {"oga", MediaKind::Song},
    {"opus", MediaKind::Song},
    {"wma", MediaKind::Song},
    {"mka", MediaKind::Song},
    {"ac3", MediaKind::Song},
    {"ape", MediaKind::Song},
    {"wv", MediaKind::Song},
    {"aif", MediaKind::Song},
    {"aiff", MediaKind::Song},
};
const int kMediaSuffixCount = int(sizeof kMediaSuffixes / sizeof kMediaSuffixes[0]);

namespace {

// The entry for the name's suffix, or none. Looked at from the end back to the dot alone: it is
// asked of every file of a large tree.
const MediaSuffix* suffixOf(std::string_view name)
{
    size_t dot = name.size();
    while (dot > 0 && name[dot - 1] != '.' && name[dot - 1] != '/')
        --dot;
    // No dot, or the name's first character: ".avi" is a hidden file, not an AVI.
    if (dot < 2 || name[dot - 1] != '.' || name[dot - 2] == '/')
        return nullptr;
    for (const MediaSuffix& s : kMediaSuffixes) {
        if (sameSuffix(name.substr(dot), s.suffix))
            return &s;
    }
    return nullptr;
}

} // namespace

bool sameSuffix(std::string_view text, std::string_view word)
{
    return text.size() == word.size() &&
           std::equal(word.begin(), word.end(), text.begin(), [](char w, char c) {
               return w == (c >= 'A' && c <= 'Z' ? char(c + 32) : c);
           });
}

MediaKind mediaKind(std::string_view name)
{
    const MediaSuffix* s = suffixOf(name);
    return s ? s->kind : MediaKind::None;
}

std::string_view withoutMediaSuffix(std::string_view name)
{
    return suffixOf(name) ? name.substr(0, name.rfind('.')) : name;
}
