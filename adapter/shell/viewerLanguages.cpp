#include "viewerLanguages.h"

#include "languageNames.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The languages named by the parts of the list, in its order, each once.
std::vector<std::string> languagesIn(const char* list, char separator)
{
    std::vector<std::string> languages;
    const std::string text = list ? list : "";
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        part.erase(0, part.find_first_not_of(" \t"));
        part.erase(part.find_last_not_of(" \t") + 1);
        // "C", "C.UTF-8" and "POSIX" are the locale without a language.
        const std::string code = languageCode(part);
        if (!code.empty() && code != "c" && code != "posix" &&
            std::find(languages.begin(), languages.end(), code) == languages.end())
            languages.push_back(code);
        start = end + 1;
    }
    return languages;
}

} // namespace

std::vector<std::string> viewerLanguages()
{
    std::vector<std::string> languages = languagesIn(getenv("TAMBLIN_LANGUAGES"), ',');
    if (languages.empty())
        languages = languagesIn(getenv("LANGUAGE"), ':');
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (languages.empty())
            languages = languagesIn(getenv(name), '\0'); // one value, no list
    }
    return languages;
}
