#include "mediaTree.h"

#include "mediaSuffixes.h"
#include "paths.h"
#include "trackNames.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>
#include <utility>

namespace {

// Hidden entries are not listed.
bool isShown(const FolderEntry& e)
{
    return !e.name.empty() && e.name[0] != '.';
}

bool naturalByPointer(const std::string* a, const std::string* b)
{
    return naturalLess(*a, *b);
}

class Scanner
{
  public:
    Scanner(const FolderReader& read, std::map<std::string, std::vector<std::string>>* subtitles)
        : read_(read), subtitles_(subtitles)
    {
    }

    // Fills the folder from what the reader finds; false when it holds no clip, at any depth.
    bool fill(MediaFolder* folder, int depth)
    {
        const FolderListing listing = read_(folder->path);
        if (!listing.isFolder || !folders_.insert(listing.id).second)
            return false;
        const std::vector<const std::string*> subfolders = foldersToEnter(listing);
        // Names pointed at in the listing, not copied: most of them are only sorted.
        std::vector<const std::string*> clips;
        bool subtitlesBeside = false;
        for (const FolderEntry& e : listing.entries) {
            if (!isShown(e) || e.isFolder)
                continue;
            subtitlesBeside = subtitlesBeside || (e.isFile && isSubtitleFile(e.name));
            if (e.isFile && mediaKind(e.name) != MediaKind::None && files_.insert(e.id).second)
                clips.push_back(&e.name);
        }
        std::sort(clips.begin(), clips.end(), naturalByPointer);
        const std::string prefix = folder->path == "/" ? "/" : folder->path + "/";

        for (const std::string* name : subfolders) {
            if (depth >= kMaxDepth) {
                folder->cut = true;
                break;
            }
            if (!room(folder))
                break;
            MediaFolder sub;
            sub.path = prefix + *name;
            sub.name = *name;
            if (fill(&sub, depth + 1)) {
                folder->folders.push_back(std::move(sub));
                ++total_;
            }
        }
        // Without a subtitle file in the folder no clip has one: no need to match each clip.
        const std::vector<std::string> files =
            subtitlesBeside ? fileNames(listing) : std::vector<std::string>();
        for (const std::string* name : clips) {
            if (!room(folder))
                break;
            folder->clips.push_back(prefix + *name);
            ++total_;
            if (subtitlesBeside)
                noteSubtitles(prefix, *name, files);
        }
        // A folder cut by the depth bound may hold clips further down: it stays, with its mark.
        return !folder->folders.empty() || !folder->clips.empty() ||
               (depth >= kMaxDepth && !subfolders.empty());
    }

  private:
    // The names of the files in the folder, in the disk's order.
    static std::vector<std::string> fileNames(const FolderListing& listing)
    {
        std::vector<std::string> files;
        for (const FolderEntry& e : listing.entries) {
            if (isShown(e) && e.isFile)
                files.push_back(e.name);
        }
        return files;
    }

    // The subtitle files beside the clip, from the names its folder holds.
    void noteSubtitles(const std::string& prefix, const std::string& clip,
                       const std::vector<std::string>& files)
    {
        std::vector<std::string> beside = sidecarSubtitles(clip, files);
        for (std::string& s : beside)
            s.insert(0, prefix);
        if (!beside.empty())
            (*subtitles_)[prefix + clip] = std::move(beside);
    }

    bool room(MediaFolder* folder)
    {
        if (int(folder->folders.size() + folder->clips.size()) < kMaxEntries && total_ < kMaxTotal)
            return true;
        folder->cut = true;
        return false;
    }

    const FolderReader& read_;
    std::map<std::string, std::vector<std::string>>* subtitles_;
    // Looked up for every clip: hashed rather than ordered.
    struct Hash
    {
        size_t operator()(const FileId& id) const
        {
            return std::hash<unsigned long long>()(id.first * 0x9e3779b97f4a7c15ULL ^ id.second);
        }
    };
    std::unordered_set<FileId, Hash> folders_, files_;
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
        // ASCII's case alone, inline: the locale's tolower() was a call for each byte compared.
        const int la = ca >= 'A' && ca <= 'Z' ? ca + 32 : ca;
        const int lb = cb >= 'A' && cb <= 'Z' ? cb + 32 : cb;
        if (la != lb)
            return la < lb;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal but for case or leading zeros: a fixed order all the same
}

std::vector<const std::string*> foldersToEnter(const FolderListing& listing)
{
    std::vector<const std::string*> names;
    for (const FolderEntry& e : listing.entries) {
        if (isShown(e) && e.isFolder)
            names.push_back(&e.name);
    }
    std::sort(names.begin(), names.end(), naturalByPointer);
    return names;
}

MediaScan scanMedia(const std::vector<std::string>& directories, const FolderReader& read)
{
    MediaScan scan;
    Scanner scanner(read, &scan.subtitles);
    for (const std::string& given : directories) {
        MediaFolder top;
        top.path = given;
        top.name = baseName(top.path);
        if (top.name.empty())
            top.name = top.path;
        if (scanner.fill(&top, 0))
            scan.folders.push_back(std::move(top));
    }
    return scan;
}
