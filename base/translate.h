#pragma once

#include <string>

// The viewer's words for a text shown or said (gettext, domain "tamblin").
const char* tr(const char* text);

// The same for a text with one placeholder, a number ("Track %d") or a text ("Resume from %s"),
// filled in: the placeholder's place is the language's, not ours.
std::string tr(const char* format, int number);
std::string tr(const char* format, const std::string& text);
// Two texts ("%1$s of %2$s"): a language may put them the other way round.
std::string tr(const char* format, const std::string& first, const std::string& second);
// A count in the language's plural for it ("%d minute", "%d minutes"), filled in.
std::string trn(const char* one, const char* many, long n);
// The same with a second number after the count ("%1$ld hour %2$ld": 1 hour 35).
std::string trn(const char* one, const char* many, long n, long second);

// Binds the domain to the catalogues beside the program: PREFIX/share/locale, found from
// the executable's folder (bin/ or libexec/tamblin/), and sets LC_MESSAGES and LC_CTYPE
// from the environment (never LC_NUMERIC: numbers in commands and files keep their dot).
void startTranslations(const char* argv0);

// Where startTranslations looks for the catalogues of a program in FOLDER.
std::string catalogueFolder(const std::string& folder);
