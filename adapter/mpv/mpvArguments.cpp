#include "mpvArguments.h"

#include "mpvOptions.h"

namespace {

// A hardware decoding choice as mpv names them: a plain word, or a list of them.
bool plainChoice(const char* text)
{
    if (!text || !*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (!((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '-' || *p == ','))
            return false;
    }
    return true;
}

} // namespace

MpvArguments mpvArguments(const std::vector<std::string>& args, const char* wid, const char* hwdec,
                          const std::string& windowFile)
{
    const WindowArguments given = readWindowArguments(args);
    MpvArguments result;
    result.fifo = given.fifo;
    // What mpv does not need of the window's own words.
    std::vector<std::string> words;
    for (const std::string& word : given.rest) {
        if (word != "-slave" && word != "-quiet" && word != "-nortc")
            words.push_back(word);
    }
    // Last: the background of the start menu, or the media.
    if (given.startMenu && words.size() >= 2 && words[words.size() - 2] == "-menu-startup") {
        result.startMenu = true;
        result.background = result.firstFile = words.back();
        words.resize(words.size() - 2);
    } else if (!words.empty()) {
        result.firstFile = words.back();
        words.pop_back();
    }
    const MpvOptions user = translateOptions(words);
    result.dropped = droppedLine(user);
    result.hwdec = plainChoice(hwdec) ? hwdec : "auto-safe";

    // Nothing of mpv's own: no configuration, no input, no controls on screen, no terminal.
    // The adapter owns the keys, the menu and what plays next.
    result.options = {"--no-config", "--input-default-bindings=no", "--input-vo-keyboard=no",
                      "--no-input-cursor", "--osc=no", "--no-terminal", "--cursor-autohide=always",
                      "--load-scripts=no", "--ytdl=no", "--load-stats-overlay=no",
                      "--load-osd-console=no", "--load-auto-profiles=no",
                      // A window with nothing in it while files change; the adapter says when
                      // the run ends.
                      "--idle=yes", "--force-window=yes", "--keep-open=no",
                      // Where clips were left is the adapter's to keep.
                      "--no-resume-playback", "--save-position-on-quit=no",
                      // Subtitle files beside a clip are the adapter's to add, and a track
                      // chosen is the clip's own: mpv would keep it for a next file of the
                      // same make.
                      "--sub-auto=no", "--reset-on-next-file=aid,sid",
                      // Seeks to the second, as MPlayer's; no frame dropping until asked.
                      "--hr-seek=yes", "--framedrop=no", "--audio-fallback-to-null=yes",
                      "--hwdec=" + result.hwdec,
                      // Left to itself on a bare X server it picked sdl, which ignores --wid.
                      "--vo=" + (user.videoOutput.empty() ? std::string("x11") : user.videoOutput),
                      "--input-ipc-client=fd://3"};
    if (!windowFile.empty())
        result.options.push_back("--include=" + windowFile);
    else if (isWindowId(wid))
        result.options.push_back(std::string("--wid=") + wid);
    // The start menu's background stands still from its first frame.
    if (result.startMenu)
        result.options.push_back("--pause=yes");
    for (const std::string& o : user.options) {
        if (o.compare(0, 5, "--vo=") != 0)
            result.options.push_back(o);
    }
    if (!result.firstFile.empty()) {
        result.options.push_back("--");
        result.options.push_back(result.firstFile);
    }
    return result;
}

std::string mpvWindowFile(const char* wid)
{
    return isWindowId(wid) ? std::string("wid=") + wid + "\n" : std::string();
}
