#include "platform/toolkitOptions.h"

#include <cstring>
#include <string>

namespace {

// Qt 6.4's own: QGuiApplication's, QApplication's and the xcb platform's. A name here that Qt
// does not take only makes the launch wait for the toolkit, as it did before.
const char* const kToolkitOptions[] = {"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "qwindowgeometry",
                                       "geometry",
                                       "qwindowtitle",
                                       "title",
                                       "qwindowicon",
                                       "icon",
                                       "reverse",
                                       "session",
                                       "testability",
                                       "qmljsdebugger",
                                       "style",
                                       "stylesheet",
                                       "widgetcount",
                                       "display",
                                       "name",
                                       "visual",
                                       "ncols",
                                       "cmap",
                                       "sync",
                                       "nograb",
                                       "dograb",
                                       "im",
                                       "inputstyle",
                                       "dialogs",
                                       "qwindowscreen"};

bool isToolkitOption(const char* arg)
{
    if (arg[0] != '-')
        return false;
    std::string name(arg + (arg[1] == '-' ? 2 : 1));
    name = name.substr(0, name.find('='));
    for (const char* option : kToolkitOptions)
        if (name == option)
            return true;
    return false;
}

} // namespace

bool toolkitTakesNoArgument(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        if (isToolkitOption(argv[i]))
            return false;
    return true;
}
