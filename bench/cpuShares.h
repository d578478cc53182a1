#pragma once

// Shares of a core that processes take over the same seconds, and their medians over rounds.

#include <string>
#include <sys/types.h>
#include <vector>

struct Share
{
    std::string name;
    pid_t pid;
    double before = 0, percent = 0;
};

// CPU of each process over the same seconds, in percent of one core.
std::vector<Share> measureCpu(std::vector<Share> shares, int seconds);
// The shares with the X server's (BENCH_XVFB_PID) beside them, when it is known.
std::vector<Share> withServer(std::vector<Share> shares);
// The program's processes together, leaving out the X server.
double programTotal(const std::vector<Share>& shares);
// Each process on its own, and the program's processes together.
std::string formatShares(const std::vector<Share>& shares);

double median(std::vector<double> values);
// Each process's median share over rounds of the same processes.
std::vector<Share> medianShares(const std::vector<std::vector<Share>>& rounds);
// The one-minute load average of the machine, as the kernel counts it.
double loadAverage();
