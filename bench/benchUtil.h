#pragma once

#include "monotonicClock.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct Latency
{
    double p50, p99, max; // microseconds
};
Latency latency(std::vector<long long> samplesNs);

// Keeps the table apart from what the programs under test print on standard output: from
// here on standard output goes to /dev/null and the rows to the original one.
void keepTableApart();

// One row of the table that scripts/bench prints: a figure, ours, its baseline, and the ratio.
void printRow(const std::string& figure, const std::string& ours, const std::string& baseline,
              const std::string& ratio, const std::string& target);
// A line of its own in the table's output (a table of another shape, say).
void printLine(const std::string& line);
// The median, the 90th percentile and the maximum of times in nanoseconds, in milliseconds.
struct Percentiles
{
    double p50, p90, max;
};
Percentiles percentiles(std::vector<long long> ns);

std::string formatRatio(double ratio);
std::string formatLatency(const Latency& l);

// Starts a program with its standard output, and its input unless input is null, on pipes;
// returns its pid, or -1.
pid_t spawn(const std::vector<std::string>& argv, int* input, int* output);

// Gets a benchmark ready to hold the window in-process: the platform plugin, no session bus,
// SIGPIPE ignored as tamblin's main ignores it, and the table kept apart.
void prepareWindowBench(const char* platform);

// The report FIFO in dir, opened for reading and writing so that it never sees end-of-file,
// and named to the players through BENCH_REPORT.
int openReport(const std::string& dir);
// Reads one 8-byte time stamp from the report FIFO.
long long readStamp(int fd);
