#include "mediaSuffixes.h"

#include <cctype>

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

// The entry for the name's suffix, or none.
const MediaSuffix* suffixOf(const std::string& name)
{
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot <= slash + 1))
        return nullptr;
    std::string suffix = name.substr(dot + 1);
    for (char& c : suffix)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const MediaSuffix& s : kMediaSuffixes) {
        if (suffix == s.suffix)
            return &s;
    }
    return nullptr;
}

} // namespace

MediaKind mediaKind(const std::string& name)
{
    const MediaSuffix* s = suffixOf(name);
    return s ? s->kind : MediaKind::None;
}

std::string withoutMediaSuffix(const std::string& name)
{
    return suffixOf(name) ? name.substr(0, name.rfind('.')) : name;
}
