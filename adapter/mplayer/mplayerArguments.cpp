#include "mplayerArguments.h"

namespace {

// What follows from the window: the filters, and the words after the menu's (its look, which
// is sized for the window, -dr, -wid, -zoom, -fs).
struct WindowWords
{
    std::string filters;
    std::vector<std::string> after;
};

WindowWords windowWords(const char* wid, WindowSize window,
                        const std::vector<std::string>& menuOptions)
{
    WindowWords words;
    // The menu draws its text on the picture that reaches it, with a font sized for the picture
    // that the video output last drew its own text on. Each new file (and each loop of one)
    // reloads that font at the size of the window, so a menu drawn on the clip's own smaller
    // picture grew after the first loop. Scaled and framed to the window first, the picture the
    // menu draws on is the window itself, for every clip: one font size, one place.
    // YUV video with the menu needs the conversion to RGB too, or the player aborts.
    words.filters = "format=bgr32";
    if (window.valid()) {
        const std::string w = std::to_string(window.width), h = std::to_string(window.height);
        // The menu draws into the picture it is handed, and expand paints its bars only once:
        // so the clip is scaled and framed in YUV, and one conversion writes the whole picture,
        // bars and all, each frame, straight into the output's image (-dr, no -zoom). It costs
        // less than the player scaling the clip itself. (expand straight into the output
        // crashes the player when the bars are at the sides.) In YUV, expand leaves the colour
        // of a left bar's first two rows unpainted when no bar is above the picture: it frames
        // into two rows more, which the crop, moving no pixel, takes off again.
        const std::string taller = std::to_string(window.height + 4);
        words.filters = "dsize=" + w + ":" + h + ":0,scale=0:0,format=yv12,expand=" + w + ":" +
                        taller + ",crop=" + w + ":" + h + ":0:2,scale=" + w + ":" + h + "," +
                        words.filters;
    }
    words.after = menuOptions;
    if (window.valid())
        words.after.push_back("-dr");
    if (isWindowId(wid)) {
        words.after.insert(words.after.end(), {"-wid", wid});
        if (!window.valid()) // a picture of the clip's own size, scaled by the output
            words.after.push_back("-zoom");
        words.after.push_back("-fs");
    }
    return words;
}

// The line with `vf` (the filters, or "-include FILE" in their place) and `after` put in.
PlayerArguments arguments(const std::vector<std::string>& args, const std::string& menuFile,
                          const std::vector<std::string>& vf, const std::vector<std::string>& after,
                          const std::string& menuLists)
{
    const WindowArguments given = readWindowArguments(args);
    PlayerArguments result;
    result.fifo = given.fifo;
    result.startMenu = given.startMenu;
    result.background = given.background;
    // x11 is the output that draws the menu into another window on any X server. The player
    // takes no input of its own (keys, mouse, a LIRC remote): every command comes through the
    // window and the menu model. Option files beside the files it plays give songs a picture.
    // It says what each file holds (-identify: tracks, chapters, a song's length), and loads
    // no subtitles of its own: those beside a clip come from the adapter, which names them.
    result.options = {"-vo", "x11"};
    result.options.insert(result.options.end(), vf.begin(), vf.end());
    result.options.insert(result.options.end(),
                          {"-input", "nodefault-bindings:conf=/dev/null", "-nomouseinput",
                           "-nolirc", "-use-filedir-conf", "-identify", "-noautosub", "-menu",
                           "-menu-cfg", menuFile});
    if (!menuLists.empty())
        result.options.insert(result.options.end(), {"-menu-chroot", menuLists});
    result.options.insert(result.options.end(), after.begin(), after.end());
    result.options.insert(result.options.end(), given.rest.begin(), given.rest.end());
    return result;
}

} // namespace

PlayerArguments playerArguments(const std::vector<std::string>& args, const std::string& menuFile,
                                const char* wid, WindowSize window,
                                const std::vector<std::string>& menuOptions,
                                const std::string& menuLists)
{
    const WindowWords words = windowWords(wid, window, menuOptions);
    return arguments(args, menuFile, {"-vf", words.filters}, words.after, menuLists);
}

PlayerArguments playerArgumentsBeforeWindow(const std::vector<std::string>& args,
                                            const std::string& menuFile,
                                            const std::string& windowFile,
                                            const std::string& menuLists)
{
    return arguments(args, menuFile, {"-include", windowFile}, {}, menuLists);
}

std::string mplayerWindowFile(const char* wid, WindowSize window,
                              const std::vector<std::string>& menuOptions)
{
    const WindowWords words = windowWords(wid, window, menuOptions);
    std::vector<std::string> all{"-vf", words.filters};
    all.insert(all.end(), words.after.begin(), words.after.end());
    // "-name value" becomes name="value", a lone "-flag" flag=yes. No value here begins with a
    // dash or holds a double quote.
    std::string text;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string name = all[i].substr(1);
        if (i + 1 < all.size() && all[i + 1][0] != '-')
            text += name + "=\"" + all[++i] + "\"\n";
        else
            text += name + "=yes\n";
    }
    return text;
}
