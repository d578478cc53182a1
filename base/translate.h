#pragma once

#include <string>

// The viewer's words for a text shown or said (gettext, domain "tamblin").
const char* tr(const char* text);

// The same for a text with one placeholder, a number ("Track %d") or a text ("Resume from %s"),
// filled in: the placeholder's place is the language's, not ours.
std::string tr(const char* format, int number);
std::string tr(const char* format, const std::string& text);

// Binds the domain to the catalogues beside the program: PREFIX/share/locale, found from
// the executable's folder (bin/ or libexec/tamblin/), and sets LC_MESSAGES and LC_CTYPE
// from the environment (never LC_NUMERIC: numbers in commands and files keep their dot).
void startTranslations(const char* argv0);

// Where startTranslations looks for the catalogues of a program in FOLDER.
std::string catalogueFolder(const std::string& folder);
