#pragma once

#include <string>
#include <vector>

// The viewer's languages, most wanted first, as two-letter codes where the language table knows
// them (languageNames.h): TAMBLIN_LANGUAGES ("fr,en"), else the locale's (LANGUAGE, a list, then
// LC_ALL, LC_MESSAGES, LANG). Empty when none names a language ("C", "POSIX").
std::vector<std::string> viewerLanguages();
