#pragma once

#include <string>

// Languages as files and locales name them ("fr", "fre", "fra", "fr_FR.UTF-8") and as their own
// speakers do ("Français"), so that a track is named in its own language and the viewer's
// languages can be matched against the file's.

// The two-letter code of the language ("fr" for "fr", "fre", "fra", "FR", "fr-CA",
// "fr_FR.UTF-8"); else the lower-cased input up to its region or encoding ("xx" for "xx_YY").
std::string languageCode(const std::string& any);
// The language's name in that language ("Français"), or "" when the table does not know it.
std::string languageName(const std::string& any);
