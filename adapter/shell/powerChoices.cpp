#include "powerChoices.h"

#include <sstream>
#include <string>

MenuOptions powerChoices(const char* tamblinPower)
{
    MenuOptions options;
    std::istringstream list(tamblinPower ? tamblinPower : "");
    for (std::string name; std::getline(list, name, ',');) {
        options.powerOff = options.powerOff || name == "power-off";
        options.restart = options.restart || name == "restart";
        options.sleep = options.sleep || name == "sleep";
    }
    return options;
}
