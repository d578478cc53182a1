#include "mplayerMenu.h"

#include "mediaMenu.h"
#include "menuFont.h"
#include "menuLayout.h"
#include "menuText.h"

#include <cstdio>

namespace {

using namespace menuLayout;

std::string percent(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.6f", value);
    return text;
}

} // namespace

MPlayerMenuLook mplayerMenuLook(std::vector<Menu> menus, WindowSize window)
{
    MPlayerMenuLook look;
    for (Menu& m : menus) {
        m.title = definitionSafe(m.title);
        for (MenuEntry& e : m.entries)
            e.label = definitionSafe(e.label);
    }
    const MenuFont font = chooseMenuFont(menuCharacters(menus, std::string(kPointer) + "_"));
    if (font.found()) {
        look.font = font.family;
        look.options = {"-font", fontPattern(font.family)};
    }
    if (font.found() && window.valid()) {
        TextWidths widths(font, 12);
        if (widths.valid()) {
            const int size = pixelSizeFor(window.height, [&](int pixels) {
                widths.setSize(pixels);
                return widths.lineHeight();
            });
            widths.setSize(size);
            // The size goes as a share of the picture's height, which is the window's.
            for (const std::string& o :
                 {std::string("-subfont-autoscale"), std::string("1"),
                  std::string("-subfont-osd-scale"), percent(100.0 * size / window.height),
                  std::string("-subfont-blur"), std::to_string(kBlur),
                  std::string("-subfont-outline"), std::to_string(kOutline)})
                look.options.push_back(o);
            const int titleRoom = window.width - 2 * kBorder - 4 * kPad;
            const int entryRoom = titleRoom - widths.width(codePoints(kPointer));
            const auto advance = [&](char32_t c) { return widths.advance(c); };
            for (Menu& m : menus) {
                m.title = fitted(m.title, titleRoom, advance);
                for (MenuEntry& e : m.entries)
                    e.label = fitted(e.label, entryRoom, advance);
            }
        }
    }
    look.menus = std::move(menus);
    return look;
}

std::string menuDefinition(const std::vector<Menu>& menus)
{
    std::string text;
    for (const Menu& menu : menus) {
        text += "<cmdlist name=\"" + menu.name + "\" title=\"" + definitionSafe(menu.title) +
                "\" ptr=\"" + kPointer + "\">\n";
        for (const MenuEntry& e : menu.entries) {
            std::string ok;
            if (e.kind == MenuEntry::OpenMenu)
                ok = "set_menu " + e.argument;
            else if (e.kind == MenuEntry::Command)
                ok = e.argument;
            else if (e.kind == MenuEntry::Back)
                ok = "menu cancel";
            text += "  <e name=\"" + definitionSafe(e.label) + "\" ok=\"" + ok + "\"/>\n";
        }
        text += "</cmdlist>\n";
    }
    return text;
}
