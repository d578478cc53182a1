#include "languageNames.h"

#include <cctype>

namespace {

struct Language
{
    const char* code;          // ISO 639-1
    const char* bibliographic; // ISO 639-2/B, as Matroska files mostly carry it
    const char* terminology;   // ISO 639-2/T
    const char* name;          // as its speakers write it
};

const Language kLanguages[] = {
    {"ar", "ara", "ara", "العربية"},       {"bg", "bul", "bul", "Български"},
    {"bn", "ben", "ben", "বাংলা"},         {"ca", "cat", "cat", "Català"},
    {"cs", "cze", "ces", "Čeština"},       {"da", "dan", "dan", "Dansk"},
    {"de", "ger", "deu", "Deutsch"},       {"el", "gre", "ell", "Ελληνικά"},
    {"en", "eng", "eng", "English"},       {"es", "spa", "spa", "Español"},
    {"et", "est", "est", "Eesti"},         {"eu", "baq", "eus", "Euskara"},
    {"fa", "per", "fas", "فارسی"},         {"fi", "fin", "fin", "Suomi"},
    {"fr", "fre", "fra", "Français"},      {"ga", "gle", "gle", "Gaeilge"},
    {"gl", "glg", "glg", "Galego"},        {"he", "heb", "heb", "עברית"},
    {"hi", "hin", "hin", "हिन्दी"},         {"hr", "hrv", "hrv", "Hrvatski"},
    {"hu", "hun", "hun", "Magyar"},        {"id", "ind", "ind", "Bahasa Indonesia"},
    {"is", "ice", "isl", "Íslenska"},      {"it", "ita", "ita", "Italiano"},
    {"ja", "jpn", "jpn", "日本語"},        {"ko", "kor", "kor", "한국어"},
    {"lt", "lit", "lit", "Lietuvių"},      {"lv", "lav", "lav", "Latviešu"},
    {"ms", "may", "msa", "Bahasa Melayu"}, {"nl", "dut", "nld", "Nederlands"},
    {"no", "nor", "nor", "Norsk"},         {"pl", "pol", "pol", "Polski"},
    {"pt", "por", "por", "Português"},     {"ro", "rum", "ron", "Română"},
    {"ru", "rus", "rus", "Русский"},       {"sk", "slo", "slk", "Slovenčina"},
    {"sl", "slv", "slv", "Slovenščina"},   {"sr", "srp", "srp", "Српски"},
    {"sv", "swe", "swe", "Svenska"},       {"ta", "tam", "tam", "தமிழ்"},
    {"th", "tha", "tha", "ไทย"},           {"tr", "tur", "tur", "Türkçe"},
    {"uk", "ukr", "ukr", "Українська"},    {"ur", "urd", "urd", "اردو"},
    {"vi", "vie", "vie", "Tiếng Việt"},    {"zh", "chi", "zho", "中文"},
};

// Codes that name a language of the table under another code: Norwegian Bokmål is what
// Norwegian files and locales mostly mean, and old locales still use the withdrawn codes.
const char* const kAliases[][2] = {
    {"nb", "no"},
    {"nob", "no"},
    {"iw", "he"},
    {"in", "id"},
};

const Language* find(const std::string& code)
{
    for (const auto& alias : kAliases) {
        if (code == alias[0])
            return find(alias[1]);
    }
    for (const Language& l : kLanguages) {
        if (code == l.code || code == l.bibliographic || code == l.terminology)
            return &l;
    }
    return nullptr;
}

// "fr" of "FR", "fr-CA", "fr_FR.UTF-8", "fr@euro".
std::string primary(const std::string& any)
{
    std::string code = any.substr(0, any.find_first_of("-_.@"));
    for (char& c : code)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return code;
}

} // namespace

std::string languageCode(const std::string& any)
{
    const std::string code = primary(any);
    const Language* l = find(code);
    return l ? l->code : code;
}

std::string languageName(const std::string& any)
{
    const Language* l = find(primary(any));
    return l ? l->name : "";
}
