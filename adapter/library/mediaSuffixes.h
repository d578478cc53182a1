#pragma once

#include <string>
#include <string_view>

// The file name suffixes that the media menu lists, each a clip (with a picture) or a song
// (sound alone). Case does not matter.
enum class MediaKind { None, Clip, Song };

struct MediaSuffix
{
    const char* suffix;
    MediaKind kind;
};

extern const MediaSuffix kMediaSuffixes[];
extern const int kMediaSuffixCount;

// Whether the text is the word, a suffix in lower case, in any case of ASCII's letters.
bool sameSuffix(std::string_view text, std::string_view word);

// What the file's name says it holds.
MediaKind mediaKind(std::string_view name);
// The name without its media suffix ("Amélie" for "Amélie.avi"); the name itself when its
// suffix is not a media suffix. A view into the name: copied only where it is kept.
std::string_view withoutMediaSuffix(std::string_view name);
