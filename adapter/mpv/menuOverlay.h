#pragma once

#include "menuModel.h"
#include "overlayMetrics.h"

#include <string>
#include <unordered_map>
#include <vector>

// The menu as the adapter draws it over mpv: ASS events for mpv's osd-overlay, in a frame of
// the window's size (res_x, res_y = width, height: one unit a pixel).
//
// It looks like MPlayer's own menu, so that both players show the same one: the same pixel size
// (the title and 11 entries fill the height), the title centred at the top, the entries below
// as a left-aligned block centred as a whole, the selection on a grey bar behind a "> ". Only
// the bar is filled: large filled areas make each of mpv's redraws several times slower.
//
// What it measures comes in measured (OverlayMetrics): drawing reads no file and loads no glyph.
class MenuOverlay
{
  public:
    explicit MenuOverlay(OverlayMetrics metrics);
    // The events that show the model's menu as it is now; "" when the menu is hidden (an empty
    // overlay is how mpv 0.35 hides one: its hidden flag does not work).
    std::string events(const MenuModel& model);
    int width() const { return metrics_.width(); }
    int height() const { return metrics_.height(); }

  private:
    // What a menu looks like at this size: kept, since measuring every label of a long menu
    // on each move would cost more than drawing it.
    struct Look
    {
        std::string title;               // as the model has it, to see when it changes
        std::vector<std::string> labels; // likewise
        std::string titleText;           // cut and made literal
        std::vector<std::string> shown;  // each label cut and made literal, once first drawn
        std::vector<bool> ready;
        int titleWidth = 0;
        int widest = 0; // the widest label as drawn
        bool built = false;
        int first = 0; // the first entry shown: the list scrolls as little as it can
    };
    Look& lookOf(const Menu& menu);
    int width(const std::string& text) const;
    std::string cut(const std::string& text, int room) const;

    OverlayMetrics metrics_;
    int pitch_ = 0, shown_ = 0, pointerWidth_ = 0;
    std::string textStyle_;
    std::unordered_map<std::string, Look> looks_;
};

// Text shown literally in ASS: no override tag, line break or escape in a name can act.
std::string assLiteral(const std::string& text);
