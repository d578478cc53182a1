#include "mountTable.h"

#include "mediaTree.h"

#include <algorithm>
#include <set>
#include <sstream>

namespace {

// The kernel writes a blank, a tab, a newline and a backslash in a path as three octal digits
// after a backslash, so that fields stay apart.
std::string unescaped(const std::string& field)
{
    std::string out;
    const auto octal = [&](size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

// The mount point of one line, escapes undone; empty when the line is not one the kernel
// writes ("ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPER").
std::string mountPointOf(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;)
        fields.push_back(f);
    const auto dash = std::find(fields.begin() + std::min<size_t>(fields.size(), 6), fields.end(),
                                std::string("-"));
    if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 4)
        return {};
    const std::string point = unescaped(fields[4]);
    return !point.empty() && point[0] == '/' ? point : std::string();
}

// A root as a prefix that ends before a '/': "/media/" and "/media" alike give "/media", and
// "/" gives "".
std::string prefixOf(std::string root)
{
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

// True when path lies strictly below the folder `prefix` (as prefixOf gives it).
bool isBelow(const std::string& path, const std::string& prefix)
{
    return path.size() > prefix.size() + 1 && path.compare(0, prefix.size(), prefix) == 0 &&
           path[prefix.size()] == '/';
}

} // namespace

std::vector<Mount> removableMounts(const std::string& mountinfo,
                                   const std::vector<std::string>& roots)
{
    std::vector<std::string> prefixes;
    for (const std::string& r : roots)
        if (!r.empty())
            prefixes.push_back(prefixOf(r));

    std::set<std::string> points; // one per mount point, however many are stacked on it
    std::istringstream lines(mountinfo);
    for (std::string line; std::getline(lines, line);) {
        const std::string point = prefixOf(mountPointOf(line));
        if (std::any_of(prefixes.begin(), prefixes.end(),
                        [&](const std::string& p) { return isBelow(point, p); }))
            points.insert(point);
    }

    std::vector<Mount> mounts;
    for (const std::string& point : points) {
        // A mount inside a stick (a folder of it mounted on its own) belongs to that stick.
        bool inner = false;
        for (size_t slash = point.rfind('/'); slash != 0 && slash != std::string::npos && !inner;
             slash = point.rfind('/', slash - 1))
            inner = points.count(point.substr(0, slash)) > 0;
        if (!inner)
            mounts.push_back({point, point.substr(point.rfind('/') + 1)});
    }
    std::sort(mounts.begin(), mounts.end(), [](const Mount& a, const Mount& b) {
        if (naturalLess(a.label, b.label) || naturalLess(b.label, a.label))
            return naturalLess(a.label, b.label);
        return a.mountPoint < b.mountPoint;
    });
    return mounts;
}

std::vector<std::string> removableRoots(const char* tamblinRemovable, const std::string& user)
{
    std::vector<std::string> roots;
    if (!tamblinRemovable) {
        roots.push_back("/media");
        if (!user.empty())
            roots.push_back("/run/media/" + user);
        return roots;
    }
    std::istringstream parts(tamblinRemovable);
    for (std::string part; std::getline(parts, part, ':');)
        if (!part.empty())
            roots.push_back(part);
    return roots;
}
