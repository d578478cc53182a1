#include "translate.h"

#include <climits>
#include <clocale>
#include <cstdio>
#include <libintl.h>
#include <unistd.h>

namespace {

const char kDomain[] = "tamblin";

// The folder the program runs from: its real file, whatever link or PATH lookup started it.
std::string programFolder(const char* argv0)
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string program = n > 0 ? std::string(path, size_t(n)) : argv0 ? argv0 : "";
    const size_t slash = program.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : program.substr(0, slash);
}

// A format from a catalogue that msgfmt --check passed: its one placeholder is the original's.
template <typename... T> std::string printed(const char* translated, T... values)
{
    const int n = snprintf(nullptr, 0, translated, values...);
    if (n < 0)
        return translated;
    std::string text(size_t(n) + 1, '\0');
    snprintf(text.data(), text.size(), translated, values...);
    text.resize(size_t(n));
    return text;
}

template <typename T> std::string filled(const char* format, T value)
{
    return printed(tr(format), value);
}

} // namespace

const char* tr(const char* text)
{
    return dgettext(kDomain, text);
}

std::string tr(const char* format, int number)
{
    return filled(format, number);
}

std::string tr(const char* format, const std::string& text)
{
    return filled(format, text.c_str());
}

std::string tr(const char* format, const std::string& first, const std::string& second)
{
    return printed(tr(format), first.c_str(), second.c_str());
}

std::string trn(const char* one, const char* many, long n)
{
    return printed(dngettext(kDomain, one, many, static_cast<unsigned long>(n < 0 ? -n : n)), n);
}

std::string trn(const char* one, const char* many, long n, long second)
{
    return printed(dngettext(kDomain, one, many, static_cast<unsigned long>(n < 0 ? -n : n)), n,
                   second);
}

std::string catalogueFolder(const std::string& folder)
{
    // The adapter lives in libexec/tamblin/, one level deeper than bin/.
    const size_t slash = folder.rfind('/');
    const bool appDir = folder.compare(slash == std::string::npos ? 0 : slash + 1,
                                       std::string::npos, "tamblin") == 0;
    return folder + (appDir ? "/../../share/locale" : "/../share/locale");
}

void startTranslations(const char* argv0)
{
    setlocale(LC_MESSAGES, "");
    setlocale(LC_CTYPE, "");
    bindtextdomain(kDomain, catalogueFolder(programFolder(argv0)).c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
}
