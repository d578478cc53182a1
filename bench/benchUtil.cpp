#include "benchUtil.h"

#include "spawn.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

Latency latency(std::vector<long long> samples)
{
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[size_t(q * double(samples.size() - 1))] / 1000.0; };
    return {at(0.50), at(0.99), samples.back() / 1000.0};
}

std::string formatLatency(const Latency& l)
{
    char text[96];
    snprintf(text, sizeof text, "p50 %.1f / p99 %.1f / max %.1f us", l.p50, l.p99, l.max);
    return text;
}

static FILE* table = stdout;

void keepTableApart()
{
    fflush(stdout);
    table = fdopen(dup(STDOUT_FILENO), "w");
    if (!freopen("/dev/null", "w", stdout))
        perror("freopen");
}

std::string formatRatio(double ratio)
{
    char text[32];
    snprintf(text, sizeof text, "%.3g", ratio);
    return text;
}

void printRow(const std::string& figure, const std::string& ours, const std::string& baseline,
              const std::string& ratio, const std::string& target)
{
    fprintf(table, "| %s | %s | %s | %s | %s |\n", figure.c_str(), ours.c_str(), baseline.c_str(),
            ratio.c_str(), target.c_str());
    fflush(table);
}

void printLine(const std::string& line)
{
    fprintf(table, "%s\n", line.c_str());
    fflush(table);
}

pid_t spawn(const std::vector<std::string>& argv, int* input, int* output)
{
    SpawnRequest request;
    request.path = argv.front();
    request.arguments = argv;
    return spawnWithPipes(request, input, output, nullptr);
}

void prepareWindowBench(const char* platform)
{
    setenv("QT_QPA_PLATFORM", platform, 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    signal(SIGPIPE, SIG_IGN);
    keepTableApart();
}

int openReport(const std::string& dir)
{
    const std::string path = dir + "/report";
    unlink(path.c_str());
    mkfifo(path.c_str(), 0600);
    setenv("BENCH_REPORT", path.c_str(), 1);
    return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

long long readStamp(int fd)
{
    long long stamp = 0;
    size_t got = 0;
    while (got < sizeof stamp) {
        const ssize_t n = read(fd, reinterpret_cast<char*>(&stamp) + got, sizeof stamp - got);
        if (n <= 0)
            return -1;
        got += size_t(n);
    }
    return stamp;
}

Percentiles percentiles(std::vector<long long> ns)
{
    if (ns.empty())
        return {0, 0, 0};
    std::sort(ns.begin(), ns.end());
    auto at = [&](double q) { return double(ns[size_t(q * double(ns.size() - 1))]) / 1e6; };
    return {at(0.5), at(0.9), double(ns.back()) / 1e6};
}
