#include "slaveCommand.h"

#include <sstream>

SlaveCommand parseSlaveCommand(const std::string& line)
{
    SlaveCommand c;
    c.body = line;
    // Longest first: "pausing" is a prefix of the others.
    for (const char* prefix :
         {"pausing_keep_force ", "pausing_keep ", "pausing_toggle ", "pausing "}) {
        const std::string p(prefix);
        if (line.compare(0, p.size(), p) == 0) {
            c.prefix = p.substr(0, p.size() - 1);
            c.body = line.substr(p.size());
            break;
        }
    }
    std::istringstream words(c.body);
    words >> c.verb >> c.argument;
    return c;
}
