#pragma once

// The menu's layout, as MPlayer's menu filter draws its lists; the menu drawn over mpv follows
// it, so that both players show the same menu.
namespace menuLayout {

constexpr char kPointer[] = "> ";
// The title and this many entries fill the window's height.
constexpr int kEntriesShown = 11;
// The space between lines, and the border around the list.
constexpr int kLineSpace = 5;
constexpr int kBorder = 3;
// The blur and outline of the letters (the size options set them): room they take at each end
// of a line and between the pointer and the entry.
constexpr int kBlur = 2;
constexpr int kOutline = 2;
constexpr int kPad = kBlur + kOutline;

// How many entries the list shows below its title, its lines `pitch` apart:
// floor((H - 7) / pitch) - 1.
constexpr int entriesFitting(int height, int pitch)
{
    return (height - 2 * kBorder - kLineSpace + 2 * (kLineSpace / 2)) / pitch - 1;
}

// The font's pixel size: the largest, from an eighth of the height down, at which the title and
// kEntriesShown entries fit in the height; lineHeight(size) is the font's line height at a size.
constexpr int kSmallestSize = 6;
template <typename LineHeight> int pixelSizeFor(int height, LineHeight lineHeight)
{
    for (int size = height / 8; size > kSmallestSize; --size) {
        if (entriesFitting(height, lineHeight(size) + kLineSpace) >= kEntriesShown)
            return size;
    }
    return kSmallestSize;
}

} // namespace menuLayout
