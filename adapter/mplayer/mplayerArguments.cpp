#include "mplayerArguments.h"

PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid, WindowSize window,
                                const std::vector<std::string>& menuOptions,
                                const std::string& menuLists)
{
    const WindowArguments given = readWindowArguments(args);
    PlayerArguments result;
    result.fifo = given.fifo;
    result.startMenu = given.startMenu;
    result.background = given.background;
    const std::vector<std::string>& rest = given.rest;

    // The menu draws its text on the picture that reaches it, with a font sized for the picture
    // that the video output last drew its own text on. Each new file (and each loop of one)
    // reloads that font at the size of the window, so a menu drawn on the clip's own smaller
    // picture grew after the first loop. Scaled and framed to the window first, the picture the
    // menu draws on is the window itself, for every clip: one font size, one place.
    // YUV video with the menu needs the conversion to RGB too, or the player aborts.
    std::string filters = "format=bgr32";
    if (window.valid()) {
        const std::string w = std::to_string(window.width), h = std::to_string(window.height);
        // The menu draws into the picture it is handed. Handed expand's own picture, whose bars
        // are black once and never drawn again, it would leave its letters in the bars after
        // it closes: a copy of the framed picture goes to the menu instead, each frame. With
        // -dr the copy is made straight into the output's image, which the output would
        // otherwise copy once more (it takes pictures directly only when it does not scale
        // them: no -zoom).
        filters = "dsize=" + w + ":" + h + ":0,scale=0:0,expand=" + w + ":" + h + "," + filters +
                  ",scale=" + w + ":" + h;
    }
    // x11 is the output that draws the menu into another window on any X server. The player
    // takes no input of its own (keys, mouse, a LIRC remote): every command comes through the
    // window and the menu model. Option files beside the files it plays give songs a picture.
    // It says what each file holds (-identify: tracks, chapters, a song's length), and loads
    // no subtitles of its own: those beside a clip come from the adapter, which names them.
    result.options = {"-vo",           "x11",        "-vf",
                      filters,         "-input",     "nodefault-bindings:conf=/dev/null",
                      "-nomouseinput", "-nolirc",    "-use-filedir-conf",
                      "-identify",     "-noautosub", "-menu",
                      "-menu-cfg",     menuFile};
    if (!menuLists.empty())
        result.options.insert(result.options.end(), {"-menu-chroot", menuLists});
    result.options.insert(result.options.end(), menuOptions.begin(), menuOptions.end());
    if (window.valid())
        result.options.push_back("-dr");
    if (isWindowId(wid)) {
        result.options.insert(result.options.end(), {"-wid", wid});
        if (!window.valid()) // a picture of the clip's own size, scaled by the output
            result.options.push_back("-zoom");
        result.options.push_back("-fs");
    }
    result.options.insert(result.options.end(), rest.begin(), rest.end());
    return result;
}
