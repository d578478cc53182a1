#include "cpuShares.h"

#include "menuBench.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

std::vector<Share> measureCpu(std::vector<Share> shares, int seconds)
{
    for (Share& s : shares)
        s.before = cpuSeconds(s.pid);
    sleep(unsigned(seconds));
    for (Share& s : shares)
        s.percent = (cpuSeconds(s.pid) - s.before) * 100.0 / seconds;
    return shares;
}

std::vector<Share> withServer(std::vector<Share> shares)
{
    if (const pid_t x = xServerPid())
        shares.push_back({"X server", x});
    return shares;
}

double programTotal(const std::vector<Share>& shares)
{
    double total = 0;
    for (const Share& s : shares) {
        if (s.name != "X server")
            total += s.percent;
    }
    return total;
}

std::string formatShares(const std::vector<Share>& shares)
{
    std::string text;
    for (const Share& s : shares) {
        char part[64];
        snprintf(part, sizeof part, "%s%s %.2f%%", text.empty() ? "" : ", ", s.name.c_str(),
                 s.percent);
        text += part;
    }
    char sum[64];
    snprintf(sum, sizeof sum, "; together %.2f%% of a core", programTotal(shares));
    return text + sum;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<Share> medianShares(const std::vector<std::vector<Share>>& rounds)
{
    // A round whose player did not start has no shares: the others give the names.
    std::vector<Share> result;
    for (const std::vector<Share>& round : rounds) {
        if (round.size() > result.size())
            result = round;
    }
    for (size_t i = 0; i < result.size(); ++i) {
        std::vector<double> of;
        for (const std::vector<Share>& round : rounds) {
            if (i < round.size())
                of.push_back(round[i].percent);
        }
        result[i].percent = median(of);
    }
    return result;
}

double loadAverage()
{
    double load = 0;
    if (FILE* f = fopen("/proc/loadavg", "r")) {
        if (fscanf(f, "%lf", &load) != 1)
            load = 0;
        fclose(f);
    }
    return load;
}
