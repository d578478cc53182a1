#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The menu's font, chosen through fontconfig among the sans-serif fonts for the characters the
// menu is to show: the one that covers most of them, and of those the first in fontconfig's
// own order. A menu of Latin names keeps the usual sans-serif; CJK names bring a font that has
// them and Latin too (WenQuanYi Micro Hei, say).
struct MenuFont
{
    std::string family; // fontconfig's name for it: what a player is handed
    std::string file;
    int index = 0;
    int missing = 0; // how many of the characters it does not have
    bool found() const { return !file.empty(); }
};

// Reads fontconfig's configuration, which chooseMenuFont() then finds read: a few milliseconds
// that can go while something else does. Safe on any thread before the choice.
void readFontConfiguration();
// characters: each one once. watched, when given, receives what fontconfig's choice rests on:
// its configuration's files and folders, and its font folders (those that are not there too),
// each with the folders below it. A font or configuration added, removed or changed changes
// the modification time of one of them, as fontconfig's own caches judge it.
MenuFont chooseMenuFont(const std::u32string& characters,
                        std::vector<std::string>* watched = nullptr);

// The family as a fontconfig pattern: the characters that patterns give a meaning escaped.
std::string fontPattern(const std::string& family);

// Widths in one font at one pixel size, as a player's menu draws them: hinted advances, no
// kerning, and a character that the font lacks as wide as its "_".
class TextWidths
{
  public:
    TextWidths(const MenuFont& font, int pixelSize);
    ~TextWidths();
    bool valid() const { return face_ != nullptr; }
    int advance(char32_t c);
    int width(const std::u32string& text);
    // The distance from one line to the next, by the font's own metrics.
    int lineHeight() const;
    // Sets another pixel size.
    void setSize(int pixelSize);

  private:
    struct Library;
    std::shared_ptr<Library> library_;
    void* face_ = nullptr;
    static constexpr char32_t kPlane = 0x10000;  // the first plane: the characters most used
    std::vector<int> plane_;                     // the first plane's widths; -1 not known yet
    std::unordered_map<char32_t, int> advances_; // the others'
};
