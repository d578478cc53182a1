#include "menuOverlay.h"

#include "menuLayout.h"
#include "menuText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using namespace menuLayout;

const int kInset = kBorder + kPad;
// MPlayer's cursor bar, #7a818d, in the order ASS writes colours: blue, green, red.
const char kBarColour[] = "&H8D817A&";
const char32_t kWordJoiner = 0x2060;
const int kFine = OverlayMetrics::kFine;

void appendPosition(std::string& out, const char* align, int x, int y)
{
    char text[64];
    snprintf(text, sizeof text, "{\\an%s\\pos(%d,%d)", align, x, y);
    out += text;
}

} // namespace

std::string assLiteral(const std::string& text)
{
    static const std::string joiner = utf8(std::u32string(1, kWordJoiner));
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        // A joiner after each backslash keeps it from starting \N, \h or \{; a brace escaped
        // shows as a brace instead of opening or closing a block of tags; ass-events takes
        // each line for an event of its own.
        if (c == '\\')
            out += "\\" + joiner;
        else if (c == '{')
            out += "\\{";
        else if (c == '}')
            out += "\\}";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out;
}

MenuOverlay::MenuOverlay(OverlayMetrics metrics) : metrics_(std::move(metrics))
{
    const int size = metrics_.size();
    pitch_ = metrics_.lineHeight() + kLineSpace;
    shown_ = std::max(1, entriesFitting(metrics_.height(), pitch_));
    pointerWidth_ = width(kPointer);
    // An outline that grows with the letters reads over any picture at any size.
    const int border = std::max(1, int(std::lround(size / 15.0)));
    // Hundredths written out by hand: printf's decimal point follows the locale.
    const long hundredths = std::lround(size * metrics_.fsPerPixel() * 100);
    char fs[32];
    snprintf(fs, sizeof fs, "%ld.%02ld", hundredths / 100, hundredths % 100);
    textStyle_ = "\\bord" + std::to_string(border) + "\\shad0\\1c&HFFFFFF&\\3c&H000000&\\q2\\fs" +
                 fs + metrics_.fontTag() + "}";
}

int MenuOverlay::width(const std::string& text) const
{
    int total = 0;
    for (char32_t c : codePoints(text))
        total += metrics_.advance(c);
    return (total + kFine - 1) / kFine;
}

std::string MenuOverlay::cut(const std::string& text, int room) const
{
    return fitted(text, room * kFine, [this](char32_t c) { return metrics_.advance(c); });
}

MenuOverlay::Look& MenuOverlay::lookOf(const Menu& menu)
{
    Look& look = looks_[menu.name];
    bool same = look.built && look.title == menu.title && look.labels.size() == menu.entries.size();
    for (size_t i = 0; same && i < menu.entries.size(); ++i)
        same = look.labels[i] == menu.entries[i].label;
    if (same)
        return look;
    const int first = look.first;
    look = Look();
    look.first = first;
    look.built = true;
    look.title = menu.title;
    const std::string title = cut(menu.title, width() - 2 * kInset - 2 * kPad);
    look.titleText = assLiteral(title);
    look.titleWidth = width(title);
    const int room = width() - 2 * kInset - 2 * kPad - pointerWidth_;
    for (const MenuEntry& e : menu.entries) {
        look.labels.push_back(e.label);
        look.widest = std::max(look.widest, std::min(width(e.label), room));
    }
    look.shown.resize(menu.entries.size());
    look.ready.resize(menu.entries.size());
    return look;
}

std::string MenuOverlay::events(const MenuModel& model)
{
    if (!model.visible() || width() < 1 || height() < 1)
        return "";
    const Menu* menu = nullptr;
    for (const Menu& m : model.menus()) {
        if (m.name == model.current()) {
            menu = &m;
            break;
        }
    }
    if (!menu)
        return "";
    Look& look = lookOf(*menu);
    const int count = int(menu->entries.size());
    const int selection = std::clamp(model.selection(), 0, std::max(0, count - 1));
    // Scrolled only as far as the selection needs, as MPlayer's list does.
    look.first = std::clamp(look.first, selection - shown_ + 1, selection);
    look.first = std::clamp(look.first, 0, std::max(0, count - shown_));

    // A block as wide as its widest line, centred as a whole, the entries left-aligned in it.
    const int block =
        std::min(width(), std::max(2 * kInset + 2 * kPad + pointerWidth_ + look.widest,
                                   2 * kInset + look.titleWidth));
    const int left = (width() - block) / 2;
    const int textLeft = left + kInset + 2 * kPad + pointerWidth_;
    const int lineTop = kBorder - kLineSpace / 2;
    const int textDown = (pitch_ - metrics_.lineHeight()) / 2;
    const int firstBar = lineTop + pitch_ + kLineSpace;
    const int last = std::min(count, look.first + shown_);

    std::string out;
    out.reserve(size_t(last - look.first + 3) * (textStyle_.size() + 64));
    if (count > 0) {
        const int barTop = firstBar + (selection - look.first) * pitch_;
        appendPosition(out, "7", left, barTop);
        out += std::string("\\bord0\\shad0\\1c") + kBarColour + "\\p1}m 0 0 l " +
               std::to_string(block) + " 0 " + std::to_string(block) + " " +
               std::to_string(pitch_) + " 0 " + std::to_string(pitch_) + "{\\p0}\n";
        appendPosition(out, "7", left + kInset, barTop + textDown);
        out += textStyle_ + kPointer + "\n";
    }
    appendPosition(out, "8", width() / 2, lineTop + textDown);
    out += textStyle_ + look.titleText + "\n";
    const int room = width() - 2 * kInset - 2 * kPad - pointerWidth_;
    for (int i = look.first; i < last; ++i) {
        if (!look.ready[size_t(i)]) {
            look.shown[size_t(i)] = assLiteral(cut(menu->entries[size_t(i)].label, room));
            look.ready[size_t(i)] = true;
        }
        appendPosition(out, "7", textLeft, firstBar + (i - look.first) * pitch_ + textDown);
        out += textStyle_ + look.shown[size_t(i)] + "\n";
    }
    out.pop_back();
    return out;
}
