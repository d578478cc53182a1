#include "removables.h"

#include "mediaMenu.h"
#include "menuText.h"
#include "translate.h"

#include <algorithm>

namespace {

bool below(const std::string& path, const std::string& folder)
{
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

const MediaFolder* findFolder(const MediaFolder& in, const std::string& path)
{
    if (in.path == path)
        return &in;
    for (const MediaFolder& sub : in.folders) {
        if (below(path, sub.path))
            return findFolder(sub, path);
    }
    return nullptr;
}

} // namespace

Removables::Change Removables::mounts(const std::vector<Mount>& mounts)
{
    Change change;
    std::vector<Stick> now;
    for (const Mount& m : mounts) {
        const Stick* known = find(m.mountPoint);
        if (known) {
            now.push_back(*known);
            now.back().mount.label = m.label;
        } else {
            now.push_back({m, false, {}});
            change.added.push_back(m.mountPoint);
        }
    }
    for (const Stick& s : sticks_) {
        bool kept = false;
        for (const Mount& m : mounts)
            kept = kept || m.mountPoint == s.mount.mountPoint;
        if (!kept)
            change.removed.push_back(s.mount.mountPoint);
    }
    sticks_ = std::move(now);
    return change;
}

bool Removables::read(const std::string& mountPoint, MediaScan scan)
{
    for (Stick& s : sticks_) {
        if (s.mount.mountPoint == mountPoint) {
            s.read = true;
            s.scan = std::move(scan);
            return true;
        }
    }
    return false;
}

const Removables::Stick* Removables::find(const std::string& mountPoint) const
{
    for (const Stick& s : sticks_) {
        if (s.mount.mountPoint == mountPoint)
            return &s;
    }
    return nullptr;
}

std::vector<MenuEntry> Removables::places() const
{
    std::vector<MenuEntry> entries = fixed_;
    for (const Stick& s : sticks_)
        entries.push_back(
            {menuLabel(s.mount.label), MenuEntry::OpenMenu, stickMenu(1), {s.mount.mountPoint}});
    if (entries.empty())
        entries.push_back({tr("Nothing to play"), MenuEntry::Nothing, "", {}});
    return entries;
}

std::vector<MenuEntry> Removables::folder(const std::string& path, int level) const
{
    const Stick* stick = find(holding(path));
    if (!stick)
        return {};
    if (!stick->read) {
        // Translators: a USB stick's folders are being read; the entry stands in for them.
        return {{tr("Reading…"), MenuEntry::Nothing, "", {}}};
    }
    // The scan lists the stick's own folder only when clips lie somewhere below it.
    const MediaFolder* folder =
        stick->scan.folders.empty() ? nullptr : findFolder(stick->scan.folders.front(), path);
    if (!folder)
        return {{tr("Nothing to play"), MenuEntry::Nothing, "", {}}};
    // Deeper than the menus go, a folder leads nowhere; the scan's depth keeps within them.
    std::vector<MenuEntry> entries =
        folderEntries(*folder, [&](const MediaFolder&) { return stickMenu(level + 1); });
    if (level >= kStickLevels)
        entries.erase(
            std::remove_if(entries.begin(), entries.end(),
                           [](const MenuEntry& e) { return e.kind == MenuEntry::OpenMenu; }),
            entries.end());
    return entries;
}

std::string Removables::holding(const std::string& path) const
{
    for (const Stick& s : sticks_) {
        if (below(path, s.mount.mountPoint))
            return s.mount.mountPoint;
    }
    return {};
}
