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

std::string trimmedLine(const std::string& line)
{
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\r' || line[end - 1] == '\t'))
        --end;
    size_t begin = 0;
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    return line.substr(begin, end - begin);
}
