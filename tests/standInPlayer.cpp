// A stand-in for the media player, for exact protocol checks. Started as "mplayer" with the
// player's command line, it opens the FIFO named after "-input file=", records every line it
// reads in $STANDIN_DIR/received (monotonic milliseconds, then the line), and answers each
// "get_menu_visibility" as $STANDIN_DIR/control says, read anew at every query:
//   answer TEXT | print TEXT   print TEXT and a line feed
//   partial TEXT               print TEXT without a line feed
//   flood N                    print N bytes in lines of 100, then record "FLOODED"
//   sleep MS                   wait
//   exit                       end at once
// Without a control file it answers "ANS_MENU_VISIBILITY=0". It also writes args (one per
// line), wid (the window's, from TAMBLIN_WINDOW_FD) and pid. Environment:
//   STANDIN_ON_QUIT   exit (default) | linger (until the FIFO closes) | ignore (never ends)
//   STANDIN_NO_OPEN   never open the FIFO
//   STANDIN_IGNORE_TERM  ignore SIGTERM
//   STANDIN_EXIT_AFTER_MS  end by itself after that long
//   STANDIN_FLOOD_IDLE  print that many bytes right after opening the FIFO

#include "descriptors.h"
#include "monotonicClock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

std::string dir;
int receivedFd = -1;

void writeFile(const char* name, const std::string& text)
{
    std::string path = dir + "/" + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        writeAll(fd, text);
        close(fd);
    }
}

void record(const std::string& line)
{
    writeAll(receivedFd, std::to_string(monotonicMs()) + " " + line + "\n");
}

void flood(long bytes)
{
    std::string line(99, 'x');
    line += '\n';
    while (bytes > 0) {
        writeAll(1, bytes >= 100 ? line : std::string(size_t(bytes), 'x'));
        bytes -= 100;
    }
}

void answerQuery()
{
    FILE* control = fopen((dir + "/control").c_str(), "r");
    if (!control) {
        writeAll(1, "ANS_MENU_VISIBILITY=0\n");
        return;
    }
    char buf[4096];
    while (fgets(buf, sizeof buf, control)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        std::string word = line.substr(0, line.find(' '));
        std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        if (word == "answer" || word == "print") {
            writeAll(1, rest + "\n");
        } else if (word == "partial") {
            writeAll(1, rest);
        } else if (word == "flood") {
            flood(atol(rest.c_str()));
            record("FLOODED");
        } else if (word == "sleep") {
            usleep(useconds_t(atol(rest.c_str()) * 1000));
        } else if (word == "exit") {
            record("EXIT");
            _exit(0);
        }
    }
    fclose(control);
}

void sleepForever()
{
    for (;;)
        pause();
}

} // namespace

// The window says where to draw once it exists: "WID WxH" on our descriptor 3.
void noteWindow()
{
    std::string wid;
    if (getenv("TAMBLIN_WINDOW_FD")) {
        char c;
        while (read(3, &c, 1) == 1 && c != '\n' && c != ' ')
            wid += c;
        close(3);
    }
    writeFile("wid", wid.empty() ? "" : wid + "\n");
}

int main(int argc, char** argv)
{
    const char* d = getenv("STANDIN_DIR");
    dir = d ? d : ".";
    receivedFd = open((dir + "/received").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);

    std::string args, fifo;
    for (int i = 1; i < argc; ++i) {
        args += std::string(argv[i]) + "\n";
        if (!strcmp(argv[i], "-input") && i + 1 < argc && !strncmp(argv[i + 1], "file=", 5))
            fifo = argv[i + 1] + 5;
    }
    writeFile("args", args);
    writeFile("pid", std::to_string(getpid()) + "\n");

    if (getenv("STANDIN_IGNORE_TERM"))
        signal(SIGTERM, SIG_IGN);
    const char* onQuitEnv = getenv("STANDIN_ON_QUIT");
    const std::string onQuit = onQuitEnv ? onQuitEnv : "exit";
    const char* exitAfter = getenv("STANDIN_EXIT_AFTER_MS");
    const long long endAt = exitAfter ? monotonicMs() + atol(exitAfter) : -1;

    if (getenv("STANDIN_NO_OPEN") || fifo.empty()) {
        noteWindow();
        sleepForever();
    }

    // At once, as a player that knows nothing of its window would: the FIFO must be there.
    int fd = open(fifo.c_str(), O_RDONLY);
    if (fd < 0) {
        perror("stand-in: open fifo");
        return 1;
    }
    noteWindow();
    record("OPEN");
    if (const char* idle = getenv("STANDIN_FLOOD_IDLE")) {
        flood(atol(idle));
        record("FLOODED");
    }

    std::string pending;
    char buf[65536];
    for (;;) {
        if (endAt >= 0) {
            long long left = endAt - monotonicMs();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, int(left)) == 0) {
                record("END");
                return 0;
            }
        }
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            record("EOF");
            if (onQuit == "ignore")
                sleepForever();
            return 0;
        }
        pending.append(buf, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            record(line);
            if (line == "get_menu_visibility") {
                answerQuery();
            } else if (line.compare(0, 4, "quit") == 0 && onQuit == "exit") {
                writeAll(1, "\nExiting... (Quit)\n");
                return 0;
            }
        }
    }
}
