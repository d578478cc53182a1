#include "mplayerMenu.h"

#include "mediaMenu.h"
#include "menuFont.h"
#include "menuLayout.h"
#include "menuText.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using namespace menuLayout;

// The longest name a file can have, in bytes.
const size_t kNameMax = 255;

// The place of an entry in a list, as `width` invisible base-3 digits.
std::string orderPrefix(size_t index, size_t width)
{
    std::string digits(width * 3, '\0');
    for (size_t d = width; d-- > 0; index /= 3) {
        digits[d * 3] = '\xE2';
        digits[d * 3 + 1] = '\x80';
        digits[d * 3 + 2] = char(0x8B + index % 3); // U+200B, U+200C, U+200D
    }
    return digits;
}

// At most `bytes` bytes of the text, cut between two characters.
std::string cutToBytes(std::string text, size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

bool isSafe(const std::string& label)
{
    return std::none_of(label.begin(), label.end(),
                        [](char c) { return c == '"' || c == '<' || c == '>'; });
}

// The label at the end of the text, made safe, then fitted as it is shown: without a copy of it
// when it is safe already and nothing fits it, which was a good part of a large collection's
// menus.
void appendLabel(std::string& text, const std::string& label, const LabelFit& fit)
{
    if (isSafe(label)) {
        if (fit)
            text += fit(label);
        else
            text += label;
        return;
    }
    const std::string safe = definitionSafe(label);
    text += fit ? fit(safe) : safe;
}

std::string percent(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.6f", value);
    return text;
}

} // namespace

namespace {

// The player's options for the font at that size.
std::vector<std::string> fontOptions(const MenuFont& font, int size, WindowSize window)
{
    std::vector<std::string> options;
    if (!font.found())
        return options;
    options = {"-font", fontPattern(font.family)};
    // The size goes as a share of the picture's height, which is the window's.
    if (size > 0)
        for (const std::string& o :
             {std::string("-subfont-autoscale"), std::string("1"),
              std::string("-subfont-osd-scale"), percent(100.0 * size / window.height),
              std::string("-subfont-blur"), std::to_string(kBlur), std::string("-subfont-outline"),
              std::to_string(kOutline)})
            options.push_back(o);
    return options;
}

int titleRoom(WindowSize window)
{
    return window.width - 2 * kBorder - 4 * kPad;
}

std::string definitionOf(const std::vector<Menu>& menus, const LabelFit& fitTitle,
                         const LabelFit& fitEntry)
{
    // Appended piece by piece: sums of strings made a string for each step, for every entry.
    std::string text;
    for (const Menu& menu : menus) {
        text += menu.listed ? "<filesel name=\"" : "<cmdlist name=\"";
        text += menu.name;
        text += "\" title=\"";
        appendLabel(text, menu.title, fitTitle);
        if (menu.listed) {
            text += "\" file-action=\"\" dir-action=\"\" ptr=\"";
            text += kPointer;
            text += "\"/>\n";
            continue;
        }
        text += "\" ptr=\"";
        text += kPointer;
        text += "\">\n";
        for (const MenuEntry& e : menu.entries) {
            text += "  <e name=\"";
            appendLabel(text, e.label, fitEntry);
            text += "\" ok=\"";
            if (e.kind == MenuEntry::OpenMenu)
                text.append("set_menu ").append(e.argument);
            else if (e.kind == MenuEntry::Command && e.argument[0] != '@')
                text += e.argument; // the core's own commands are carried out by the adapter
            else if (e.kind == MenuEntry::Back)
                text += "menu cancel";
            text += "\"/>\n";
        }
        text += "</cmdlist>\n";
    }
    return text;
}

} // namespace

MPlayerMenuLook mplayerMenuLook(const std::vector<Menu>& menus, WindowSize window,
                                const std::string& more, std::vector<std::string>* watched)
{
    MPlayerMenuLook look;
    LabelFit fitTitle;
    look.chosen =
        chooseMenuFont(menuCharacters(menus, std::string(kPointer) + "_" + more), watched);
    look.font = look.chosen.family;
    if (look.chosen.found() && window.valid()) {
        // Kept by the fit function for labels made while the run goes.
        const auto shared = std::make_shared<TextWidths>(look.chosen, 12);
        TextWidths& widths = *shared;
        if (widths.valid()) {
            look.size = pixelSizeFor(window.height, [&](int pixels) {
                widths.setSize(pixels);
                return widths.lineHeight();
            });
            widths.setSize(look.size);
            const int titleWidth = titleRoom(window);
            const int entryRoom = titleWidth - widths.width(codePoints(kPointer));
            // One function for all the labels: a lambda handed to each fitting was a function
            // made, and its pointer counted, for each of them.
            const std::function<int(char32_t)> advance = [shared](char32_t c) {
                return shared->advance(c);
            };
            fitTitle = [advance, titleWidth](const std::string& label) {
                return fitted(label, titleWidth, advance);
            };
            look.fit = [advance, entryRoom](const std::string& label) {
                return fitted(label, entryRoom, advance);
            };
        }
    }
    look.options = fontOptions(look.chosen, look.size, window);
    look.definition = definitionOf(menus, fitTitle, look.fit);
    return look;
}

MPlayerMenuLook mplayerLookAgain(const MenuFont& font, int size, WindowSize window)
{
    MPlayerMenuLook look;
    look.chosen = font;
    look.font = font.family;
    look.size = size;
    look.options = fontOptions(font, size, window);
    if (!font.found() || size <= 0 || !window.valid())
        return look;
    // The font file is read when a listed menu first opens, not on the way to the menu.
    auto widths = std::make_shared<std::unique_ptr<TextWidths>>();
    look.fit = [widths, font, size, window](const std::string& label) {
        if (!*widths)
            *widths = std::make_unique<TextWidths>(font, size);
        TextWidths& w = **widths;
        if (!w.valid())
            return label;
        const int entryRoom = titleRoom(window) - w.width(codePoints(kPointer));
        return fitted(label, entryRoom, [&w](char32_t c) { return w.advance(c); });
    };
    return look;
}

std::string menuDefinition(const std::vector<Menu>& menus)
{
    return definitionOf(menus, nullptr, nullptr);
}

std::string listedNames(const std::vector<MenuEntry>& entries, const LabelFit& fit)
{
    // An empty folder is a menu that the player cannot move in: it crashed on "menu up", "menu
    // down" and "menu ok" there. One blank entry stands in, which the keys leave where it is.
    if (entries.empty())
        return orderPrefix(0, 1) + "\n";
    size_t width = 1;
    for (size_t places = 3; places < entries.size(); places *= 3)
        ++width;
    std::string names;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string label;
        for (const char c : menuLabel(entries[i].label)) {
            if (c == '/')
                label += "\u2215";
            else
                label += c;
        }
        if (fit)
            label = fit(label);
        const std::string prefix = orderPrefix(i, width);
        names += prefix + cutToBytes(label, kNameMax - prefix.size()) + "\n";
    }
    return names;
}
