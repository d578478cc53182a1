// A player that answers at once: "get_menu_visibility" gets "ANS_MENU_VISIBILITY=0" on standard
// output, and for every other command it writes the time it read it (8 bytes) to the FIFO
// named by BENCH_REPORT. It reads the FIFO named after "-input file=", or else its standard
// input. It ends on "quit" or at the end of its input.
#include "benchUtil.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    int input = STDIN_FILENO;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!strcmp(argv[i], "-input") && !strncmp(argv[i + 1], "file=", 5))
            input = open(argv[i + 1] + 5, O_RDONLY);
    }
    const char* reportPath = getenv("BENCH_REPORT");
    const int report = reportPath ? open(reportPath, O_WRONLY) : -1;
    if (input < 0)
        return 1;

    static const char answer[] = "ANS_MENU_VISIBILITY=0\n";
    std::string pending;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(input, buf, sizeof buf);
        if (n <= 0)
            return 0;
        const long long stamp = monotonicNs();
        pending.append(buf, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "get_menu_visibility") {
                if (write(STDOUT_FILENO, answer, sizeof answer - 1) < 0)
                    return 0;
            } else if (line.compare(0, 4, "quit") == 0) {
                return 0;
            } else if (report >= 0) {
                if (write(report, &stamp, sizeof stamp) < 0)
                    return 0;
            }
        }
    }
}
