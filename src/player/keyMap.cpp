#include "player/keyMap.h"

#include "player/commandChannel.h"

#include <Qt>

namespace {

constexpr KeyCell send(const char* command)
{
    return {command, false};
}
constexpr KeyCell nothing{nullptr, false};
constexpr KeyCell closeWindow{nullptr, true};

} // namespace

const KeyRow kKeyMap[] = {
    // key            menu visible             menu hidden
    {Qt::Key_Return, send("menu ok\n"), send("pause\n")},
    // The keypad's Enter: remote controls and numeric keypads send it for OK.
    {Qt::Key_Enter, send("menu ok\n"), send("pause\n")},
    {Qt::Key_Left, nothing, send("seek -40\n")},
    {Qt::Key_Up, send("menu up\n"), send("seek -150\n")},
    {Qt::Key_Right, nothing, send("seek +40\n")},
    {Qt::Key_Down, send("menu down\n"), send("seek +150\n")},
    // Prior and Next are PageUp and PageDown in Qt 6.
    {Qt::Key_PageUp, send("volume -10\n"), send("volume -10\n")},
    {Qt::Key_PageDown, send("volume +10\n"), send("volume +10\n")},
    {Qt::Key_F1, nothing, send("set_menu main\n")},
    {Qt::Key_F2, send("menu cancel\n"), closeWindow},
    {Qt::Key_F9, send("osd\n"), send("osd\n")},
    {Qt::Key_F11, send("frame_drop\n"), send("frame_drop\n")},
    {Qt::Key_F26, send("pause\n"), send("pause\n")},
    {Qt::Key_F28, send("seek -300\n"), send("seek -300\n")},
    {Qt::Key_F29, send("seek +300\n"), send("seek +300\n")},

    // Keys of today's keyboards, phones and remote controls, each like a key of the keypad.
    {Qt::Key_VolumeUp, send("volume +10\n"), send("volume +10\n")},   // like Page Down
    {Qt::Key_VolumeDown, send("volume -10\n"), send("volume -10\n")}, // like Page Up
    {Qt::Key_VolumeMute, send("mute\n"), send("mute\n")},
    {Qt::Key_MediaPlay, send("pause\n"), send("pause\n")},             // like F26
    {Qt::Key_MediaPause, send("pause\n"), send("pause\n")},            // like F26
    {Qt::Key_MediaTogglePlayPause, send("pause\n"), send("pause\n")},  // like F26
    {Qt::Key_MediaStop, send("menu cancel\n"), closeWindow},           // like F2
    {Qt::Key_Escape, send("menu cancel\n"), closeWindow},              // like F2
    {Qt::Key_Back, send("menu cancel\n"), closeWindow},                // like F2
    {Qt::Key_MediaNext, send("seek +300\n"), send("seek +300\n")},     // like F29
    {Qt::Key_MediaPrevious, send("seek -300\n"), send("seek -300\n")}, // like F28
    {Qt::Key_Menu, nothing, send("set_menu main\n")},                  // like F1
    {Qt::Key_Select, send("menu ok\n"), send("pause\n")},              // like Return
};
const int kKeyMapSize = int(sizeof kKeyMap / sizeof kKeyMap[0]);

const KeyRow* findKey(int key)
{
    for (const KeyRow& row : kKeyMap) {
        if (row.key == key)
            return &row;
    }
    return nullptr;
}

bool applyKey(int key, bool menuVisible, FILE* fifo)
{
    const KeyRow* row = findKey(key);
    if (!row) {
        printf("Unknown Key: %d\n", key);
        return false;
    }
    const KeyCell& cell = menuVisible ? row->menuVisible : row->menuHidden;
    if (cell.command && fifo)
        writeCommand(fifo, cell.command);
    return cell.closesWindow;
}
