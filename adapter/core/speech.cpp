#include "speech.h"

#include "mediaSuffixes.h"
#include "paths.h"
#include "translate.h"

#include <cmath>

namespace {

// The invisible digits that order a listed menu's names mean nothing said aloud.
std::string audible(std::string text)
{
    for (const char* zeroWidth : {"\u200B", "\u200C", "\u200D"}) {
        for (size_t at; (at = text.find(zeroWidth)) != std::string::npos;)
            text.erase(at, 3);
    }
    return text;
}

// A message menu has nothing to choose but its OK.
bool isMessage(const Menu& menu)
{
    return menu.entries.size() == 1 && menu.entries.front().kind == MenuEntry::Back;
}

} // namespace

std::string spokenTime(double seconds)
{
    const long s = seconds > 0 ? long(std::llround(seconds)) : 0;
    const long hours = s / 3600, minutes = s / 60 % 60;
    if (hours > 0 && minutes > 0)
        // Translators: a length of an hour or more with its minutes, said aloud: "1 hour 35".
        return trn("%1$ld hour %2$ld", "%1$ld hours %2$ld", hours, minutes);
    if (hours > 0)
        return trn("%ld hour", "%ld hours", hours);
    if (minutes > 0)
        return trn("%ld minute", "%ld minutes", minutes);
    return trn("%ld second", "%ld seconds", s);
}

void Speech::say(const std::string& text, int priority)
{
    // Nothing more once the run ends: its last menus are on their way out.
    if (on_ && !ended_ && !text.empty())
        out_.say(audible(text), priority);
}

void Speech::sayMenu(const MenuModel& model, int priority)
{
    const Menu* menu = model.menu(model.current());
    if (!menu)
        return;
    // A message waits for what is being said; a menu opened by a key cuts it off.
    say(menu->title, isMessage(*menu) ? Action::kMessage : priority);
    const int at = model.selection();
    if (at >= 0 && size_t(at) < menu->entries.size())
        say(menu->entries[size_t(at)].label, Action::kMessage);
}

void Speech::menuChanged(const MenuModel& model)
{
    const View now{model.visible(), model.current(), model.depth(), model.selection()};
    const bool opened =
        now.visible && (!last_.visible || now.menu != last_.menu || now.depth != last_.depth);
    const bool moved = now.visible && !opened && now.selection != last_.selection;
    last_ = now;
    if (opened) {
        sayMenu(model, Action::kCutOff);
    } else if (moved) {
        const Menu* menu = model.menu(now.menu);
        if (menu && now.selection >= 0 && size_t(now.selection) < menu->entries.size())
            say(menu->entries[size_t(now.selection)].label, Action::kCutOff);
    }
}

void Speech::toggle(const MenuModel& model)
{
    if (on_) {
        say(tr("Speech off"), Action::kCutOff);
        on_ = false;
        positionAsked_ = false;
    } else {
        on_ = true;
        say(tr("Speech on"), Action::kCutOff);
        if (model.visible())
            sayMenu(model, Action::kMessage);
    }
    out_.add(Action::SaveSpeech, on_ ? "on" : "off");
}

void Speech::clipStarted(const std::string& path)
{
    say(std::string(withoutMediaSuffix(baseName(path))), Action::kCutOff);
}

void Speech::positionKnown(double at, double length)
{
    if (!positionAsked_)
        return;
    positionAsked_ = false;
    // Translators: where the clip is, then its length ("12 minutes of 1 hour 35").
    say(tr("%1$s of %2$s", spokenTime(at), spokenTime(length)), Action::kCutOff);
}

void Speech::duck(bool down, long long now)
{
    if (ducked_ == down)
        return;
    ducked_ = down;
    out_.trace('#', down ? "sound down" : "sound up");
    driver_.duck(down, now);
}

void Speech::speaking(bool speaking, long long now)
{
    // The last words of speech turned off still bring the sound back.
    if (!ended_)
        duck(speaking, now);
}

void Speech::ending(long long now)
{
    duck(false, now);
    ended_ = true;
}
