#include "windowArguments.h"

#include <cctype>
#include <cstdio>

namespace {

// Bounded so that a stray value cannot ask the player for an absurd picture.
constexpr int kMinWindowSide = 16;

} // namespace

bool isWindowId(const char* text)
{
    if (!text || !*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

WindowSize parseWindowSize(const char* text)
{
    WindowSize size;
    int consumed = 0;
    if (text && sscanf(text, "%5dx%5d%n", &size.width, &size.height, &consumed) == 2 &&
        text[consumed] == '\0' && size.width >= kMinWindowSide && size.height >= kMinWindowSide)
        return size;
    return {};
}

WindowInfo parseWindowInfo(const std::string& line)
{
    WindowInfo info;
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return info;
    const std::string wid = line.substr(0, blank);
    const std::string sizeText = line.substr(blank + 1);
    const WindowSize size = parseWindowSize(sizeText.c_str());
    if (isWindowId(wid.c_str()) && size.valid() &&
        isdigit(static_cast<unsigned char>(sizeText[0]))) {
        info.wid = wid;
        info.size = size;
    }
    return info;
}

WindowArguments readWindowArguments(const std::vector<std::string>& args)
{
    WindowArguments result;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-input" && i + 1 < args.size() && args[i + 1].compare(0, 5, "file=") == 0) {
            result.fifo = args[i + 1].substr(5);
            ++i;
            continue;
        }
        if (args[i] == "-menu-startup" && i + 1 < args.size()) {
            result.startMenu = true;
            result.background = args[i + 1];
        }
        result.rest.push_back(args[i]);
    }
    return result;
}
