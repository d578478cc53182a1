#include "mediaTree.h"

#include "mediaSuffixes.h"
#include "paths.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string absoluteFolder(std::string dir)
{
    if (!dir.empty() && dir[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            dir = std::string(cwd) + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

class Scanner
{
  public:
    // Fills the folder from the disk; false when it holds no clip, at any depth.
    bool fill(MediaFolder* folder, int depth)
    {
        struct stat st;
        if (stat(folder->path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            !folders_.insert({st.st_dev, st.st_ino}).second)
            return false;
        DIR* dir = opendir(folder->path.c_str());
        if (!dir)
            return false;
        std::vector<std::string> subfolders, clips;
        while (const dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            const std::string name = e->d_name;
            const std::string path = (folder->path == "/" ? "/" : folder->path + "/") + name;
            bool isDir = e->d_type == DT_DIR, isFile = e->d_type == DT_REG;
            ino_t ino = e->d_ino;
            dev_t dev = st.st_dev;
            if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                struct stat target;
                if (stat(path.c_str(), &target) != 0)
                    continue;
                isDir = S_ISDIR(target.st_mode);
                isFile = S_ISREG(target.st_mode);
                ino = target.st_ino;
                dev = target.st_dev;
            }
            if (isDir) {
                subfolders.push_back(name);
            } else if (isFile && mediaKind(name) != MediaKind::None &&
                       access(path.c_str(), R_OK) == 0 && files_.insert({dev, ino}).second) {
                clips.push_back(name);
            }
        }
        closedir(dir);
        std::sort(subfolders.begin(), subfolders.end(), naturalLess);
        std::sort(clips.begin(), clips.end(), naturalLess);

        for (const std::string& name : subfolders) {
            if (depth >= kMaxDepth) {
                folder->cut = true;
                break;
            }
            if (!room(folder))
                break;
            MediaFolder sub;
            sub.path = (folder->path == "/" ? "/" : folder->path + "/") + name;
            sub.name = name;
            if (fill(&sub, depth + 1)) {
                folder->folders.push_back(std::move(sub));
                ++total_;
            }
        }
        for (const std::string& name : clips) {
            if (!room(folder))
                break;
            folder->clips.push_back((folder->path == "/" ? "/" : folder->path + "/") + name);
            ++total_;
        }
        // A folder cut by the depth bound may hold clips further down: it stays, with its mark.
        return !folder->folders.empty() || !folder->clips.empty() ||
               (depth >= kMaxDepth && !subfolders.empty());
    }

  private:
    bool room(MediaFolder* folder)
    {
        if (int(folder->folders.size() + folder->clips.size()) < kMaxEntries && total_ < kMaxTotal)
            return true;
        folder->cut = true;
        return false;
    }

    std::set<std::pair<dev_t, ino_t>> folders_, files_;
    int total_ = 0;
};

} // namespace

bool naturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const unsigned char ca = a[i], cb = b[j];
        if (std::isdigit(ca) && std::isdigit(cb)) {
            // Compare the runs of digits by value: leading zeros aside, the longer is larger.
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb)
            return la < lb;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal but for case or leading zeros: a fixed order all the same
}

MediaScan scanMedia(const std::vector<std::string>& directories)
{
    MediaScan scan;
    Scanner scanner;
    for (const std::string& given : directories) {
        MediaFolder top;
        top.path = absoluteFolder(given);
        top.name = baseName(top.path);
        if (top.name.empty())
            top.name = top.path;
        if (scanner.fill(&top, 0))
            scan.folders.push_back(std::move(top));
    }
    return scan;
}
