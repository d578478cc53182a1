#include "startStages.h"

#include "benchUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

const char kShown[] = "menu on screen";
const char kPlayerOwn[] = "player: its exec to the menu on screen";
const char kAlone[] = "player alone: exec to the menu on screen";
const char kPlayerExec[] = "adapter player-exec";

// The median in milliseconds, or a negative number without samples.
double medianMs(std::vector<long long> ns)
{
    if (ns.empty())
        return -1;
    std::sort(ns.begin(), ns.end());
    return double(ns[ns.size() / 2]) / 1e6;
}

std::string cell(double ms)
{
    if (ms < 0)
        return "–";
    char text[32];
    snprintf(text, sizeof text, "%.1f", ms);
    return text;
}

} // namespace

StartStages::StartStages(std::string file) : file_(std::move(file))
{
    setenv("TAMBLIN_START_TRACE", file_.c_str(), 1);
}

void StartStages::clear()
{
    unlink(file_.c_str());
}

void StartStages::collect(const std::string& player, long long execNs, long long shownNs)
{
    if (std::find(players_.begin(), players_.end(), player) == players_.end())
        players_.push_back(player);
    auto& of = offsets_[player];
    std::ifstream in(file_);
    std::string process, stage;
    long long us;
    long long playerExec = -1;
    // A stage marked twice (a second window, say) counts from its first mark.
    std::map<std::string, bool> seen;
    while (in >> process >> stage >> us) {
        const std::string name = process + " " + stage;
        if (seen[name])
            continue;
        seen[name] = true;
        of[name].push_back(us * 1000 - execNs);
        if (name == kPlayerExec)
            playerExec = us * 1000;
    }
    of[kShown].push_back(shownNs - execNs);
    if (playerExec > 0)
        of[kPlayerOwn].push_back(shownNs - playerExec);
}

void StartStages::collectAlone(const std::string& player, long long ns)
{
    offsets_[player][kAlone].push_back(ns);
}

void StartStages::print() const
{
    // Stages in the order they come for the first player; another's own stages by their medians.
    std::vector<std::pair<double, std::string>> order;
    std::map<std::string, bool> listed;
    for (const std::string& player : players_) {
        for (const auto& [name, ns] : offsets_.at(player)) {
            if (listed[name] || name == kPlayerOwn || name == kAlone)
                continue;
            listed[name] = true;
            order.push_back({medianMs(ns), name});
        }
    }
    std::sort(order.begin(), order.end());
    order.push_back({0, kPlayerOwn});
    order.push_back({0, kAlone});

    std::string header = "| Stage, ms from exec (median) |";
    std::string rule = "|---|";
    for (const std::string& player : players_) {
        const auto& stages = offsets_.at(player);
        auto shown = stages.find(kShown);
        header += " " + player + " (" +
                  std::to_string(shown == stages.end() ? 0 : shown->second.size()) + " starts) |";
        rule += "---|";
    }
    printLine(header);
    printLine(rule);
    for (const auto& [unused, name] : order) {
        std::string line = "| " + name + " |";
        for (const std::string& player : players_) {
            const auto& stages = offsets_.at(player);
            auto it = stages.find(name);
            line += " " + cell(it == stages.end() ? -1 : medianMs(it->second)) + " |";
        }
        printLine(line);
    }
}
