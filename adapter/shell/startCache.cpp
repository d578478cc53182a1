#include "startCache.h"

#include "descriptors.h"
#include "folderReadAhead.h"
#include "mediaFolders.h"
#include "menuText.h"
#include "startTrace.h"
#include "uniqueFd.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The records' own form: another form, older or newer, reads as none.
const char kForm[] = "tamblin start cache 1";
// A record larger than this is no record of ours.
const off_t kMaxRecord = off_t(256) << 20;
// How recent a change must be not to be trusted: a few ticks of any file system's clock.
const long long kSettleSeconds = 2;

const char kMediaFile[] = "media";
const char kLookFile[] = "mplayer-look";
const char kFontFile[] = "font";

std::string readRecord(const std::string& path)
{
    std::string text;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxRecord)
        return text;
    text.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = read(fd.get(), &text[got], text.size() - got);
        if (n <= 0)
            return {};
        got += size_t(n);
    }
    return text;
}

// Written beside it, then renamed over it: a reader sees the old record or the new one whole.
void writeRecord(const std::string& folder, const std::string& name, const std::string& record)
{
    // The folder and those above it, as far as they are missing.
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            break;
    }
    std::string temporary = folder + "/." + name + ".XXXXXX";
    UniqueFd fd(mkostemp(&temporary[0], O_CLOEXEC));
    if (!fd.valid())
        return;
    const bool written = writeAll(fd.get(), record);
    if (close(fd.release()) != 0 || !written ||
        rename(temporary.c_str(), (folder + "/" + name).c_str()) != 0)
        unlink(temporary.c_str());
}

std::string hex(uint64_t value)
{
    char text[32];
    snprintf(text, sizeof text, "%016llx", (unsigned long long)value);
    return text;
}

// The menus of a small tree with every kind of entry that a folder's menu can have: what the
// menus of any tree take from the viewer's language and from the options, besides the tree's
// own names.
std::vector<Menu> sampleMenus(const MenuOptions& options)
{
    MediaScan sample;
    MediaFolder top{"/a", "a", {}, {"/a/c.mkv"}, true};
    top.folders.push_back({"/a/b", "b", {}, {"/a/b/c.mkv"}, false});
    sample.folders = {top, {"/d", "d", {}, {"/d/c.mkv"}, false}};
    return buildMenus(sample, options);
}

std::string environmentValue(const char* name)
{
    const char* value = getenv(name);
    return value ? std::string(name) + "=" + value + "\n" : std::string();
}

std::string userFolder(const char* variable, const char* underHome)
{
    const char* value = getenv(variable);
    if (value && *value == '/')
        return value;
    const char* home = getenv("HOME");
    return home ? std::string(home) + underHome : std::string();
}

} // namespace

PathStamp stampOf(const std::string& path)
{
    PathStamp stamp;
    stamp.path = path;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return stamp;
    stamp.device = (long long)st.st_dev;
    stamp.inode = (long long)st.st_ino;
    stamp.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

std::string StartCache::folderFrom(const char* xdgCacheHome, const char* home)
{
    // A relative XDG_CACHE_HOME is not one, as the base directory rules have it.
    if (xdgCacheHome && *xdgCacheHome == '/')
        return std::string(xdgCacheHome) + "/tamblin";
    if (home && *home == '/')
        return std::string(home) + "/.cache/tamblin";
    return {};
}

StartCache::StartCache(std::string folder) : folder_(std::move(folder))
{
    const PathStamp self = stampOf("/proc/self/exe");
    self_ = std::to_string(self.device) + " " + std::to_string(self.inode) + " " +
            std::to_string(self.mtimeNs);
    for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "HOME",
                             "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        fonts_ += environmentValue(name);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    now_ = now.tv_sec;
}

bool StartCache::stampsHold(const std::vector<PathStamp>& stamps) const
{
    for (const PathStamp& s : stamps) {
        if (!(stampOf(s.path) == s))
            return false;
    }
    return true;
}

bool StartCache::keep(const std::vector<PathStamp>& stamps) const
{
    if (folder_.empty())
        return false;
    for (const PathStamp& s : stamps) {
        if (s.mtimeNs / 1000000000LL >= now_ - kSettleSeconds)
            return false;
    }
    return true;
}

RecordWriter StartCache::begin(const char* kind) const
{
    RecordWriter w;
    w.text(kForm);
    w.text(kind);
    w.text(self_);
    return w;
}

bool StartCache::opened(RecordReader& r, const char* kind) const
{
    return r.expect(std::string(kForm)) && r.expect(std::string(kind)) && r.expect(self_);
}

namespace {

std::string mediaKey(const std::vector<std::string>& folders)
{
    std::string key;
    for (const std::string& f : folders)
        key += std::to_string(f.size()) + ":" + f;
    return key;
}

} // namespace

bool StartCache::keptScan(const std::vector<std::string>& directories, MediaScan* scan)
{
    if (folder_.empty())
        return false;
    const std::string record = readRecord(path(kMediaFile));
    RecordReader r(record);
    std::vector<PathStamp> stamps;
    if (!opened(r, kMediaFile) || !r.expect(mediaKey(absoluteFolders(directories))) ||
        !readStamps(r, &stamps) || !stampsHold(stamps))
        return false;
    const size_t from = record.size() - r.left();
    MediaScan kept;
    if (!readScan(r, &kept) || !r.atEnd())
        return false;
    traceStart("adapter", "media-cached");
    ++served_;
    scanDigest_ = hex(digest(std::string_view(record).substr(from)));
    *scan = std::move(kept);
    return true;
}

MediaScan StartCache::freshScan(const std::vector<std::string>& directories)
{
    const std::vector<std::string> folders = absoluteFolders(directories);
    // Each folder's stamp taken before it is read: a change while it is read shows next time.
    std::vector<PathStamp> stamps;
    MediaScan scan;
    {
        FolderReadAhead ahead;
        scan = scanMedia(folders, [&stamps, &ahead](const std::string& folder) {
            PathStamp stamp;
            FolderListing listing = ahead.read(folder, &stamp);
            stamps.push_back(std::move(stamp));
            return listing;
        });
    }
    traceStart("adapter", "media-scanned");
    if (folder_.empty())
        return scan;
    // The tree written once, after what keys it: it is most of the record.
    RecordWriter w = begin(kMediaFile);
    w.text(mediaKey(folders));
    writeStamps(w, stamps);
    const size_t tree = w.record().size();
    writeScan(w, scan);
    scanDigest_ = hex(digest(std::string_view(w.record()).substr(tree)));
    if (keep(stamps))
        pending_.emplace_back(kMediaFile, w.take());
    return scan;
}

std::vector<PathStamp> StartCache::fontStamps(const std::vector<std::string>& watched) const
{
    std::vector<std::string> paths = watched;
    // The user's own configuration, where fontconfig looks for it: one made where there was
    // none is no file fontconfig read, but changes its choice all the same.
    const std::string config = userFolder("XDG_CONFIG_HOME", "/.config");
    const char* home = getenv("HOME");
    if (!config.empty())
        paths.insert(paths.end(),
                     {config + "/fontconfig/fonts.conf", config + "/fontconfig/conf.d"});
    if (home)
        paths.insert(paths.end(),
                     {std::string(home) + "/.fonts.conf", std::string(home) + "/.fonts.conf.d"});
    std::vector<PathStamp> stamps;
    for (const std::string& p : paths)
        stamps.push_back(stampOf(p));
    return stamps;
}

namespace {

void writeFont(RecordWriter& w, const MenuFont& font)
{
    w.text(font.family);
    w.text(font.file);
    w.number(font.index);
    w.number(font.missing);
}

bool readFont(RecordReader& r, MenuFont* font)
{
    long long index = 0, missing = 0;
    if (!r.text(&font->family) || !r.text(&font->file) || !r.number(&index) || !r.number(&missing))
        return false;
    font->index = int(index);
    font->missing = int(missing);
    return true;
}

} // namespace

// The tree, the options, the language and the window: what the menus and their fitting are
// made of. (The tree's folders and clips are the menus' folders and entries, one for one;
// what the rest of them says is in the sample's menus.)
std::string StartCache::lookKey(const MenuOptions& options, WindowSize window,
                                const std::string& more) const
{
    return fonts_ + std::to_string(window.width) + "x" + std::to_string(window.height) + " " +
           scanDigest_ + " " + hex(menusDigest(sampleMenus(options), more));
}

bool StartCache::keptLook(const MenuOptions& options, WindowSize window, const std::string& more,
                          MPlayerMenuLook* look, std::string* definition)
{
    if (folder_.empty() || scanDigest_.empty())
        return false;
    const std::string record = readRecord(path(kLookFile));
    RecordReader r(record);
    std::vector<PathStamp> stamps;
    MenuFont font;
    long long size = 0;
    if (!opened(r, kLookFile) || !r.expect(lookKey(options, window, more)) ||
        !readStamps(r, &stamps) || !stampsHold(stamps) || !readFont(r, &font) || !r.number(&size) ||
        !r.text(definition) || !r.atEnd())
        return false;
    traceStart("adapter", "look-cached");
    ++served_;
    *look = mplayerLookAgain(font, int(size), window);
    return true;
}

MPlayerMenuLook StartCache::mplayerLook(const std::vector<Menu>& menus, const MenuOptions& options,
                                        WindowSize window, const std::string& more,
                                        std::string* definition)
{
    std::vector<std::string> watched;
    MPlayerMenuLook look = mplayerMenuLook(menus, window, more, &watched);
    *definition = std::move(look.definition);
    traceStart("adapter", "look-fitted");
    // Without a font, fontconfig named nothing to watch: nothing is kept.
    const std::vector<PathStamp> stamps = fontStamps(watched);
    if (!scanDigest_.empty() && look.chosen.found() && keep(stamps)) {
        RecordWriter w = begin(kLookFile);
        w.text(lookKey(options, window, more));
        writeStamps(w, stamps);
        writeFont(w, look.chosen);
        w.number(look.size);
        w.text(*definition);
        pending_.emplace_back(kLookFile, w.take());
    }
    return look;
}

MenuFont StartCache::menuFont(const std::u32string& characters)
{
    const std::string key = fonts_ + hex(digest(utf8(characters)));
    MenuFont font;
    if (!folder_.empty()) {
        const std::string record = readRecord(path(kFontFile));
        RecordReader r(record);
        std::vector<PathStamp> stamps;
        if (opened(r, kFontFile) && r.expect(key) && readStamps(r, &stamps) && stampsHold(stamps) &&
            readFont(r, &font) && r.atEnd()) {
            traceStart("adapter", "font-cached");
            ++served_;
            return font;
        }
    }
    std::vector<std::string> watched;
    font = chooseMenuFont(characters, &watched);
    traceStart("adapter", "font-chosen");
    const std::vector<PathStamp> stamps = fontStamps(watched);
    if (font.found() && keep(stamps)) {
        RecordWriter w = begin(kFontFile);
        w.text(key);
        writeStamps(w, stamps);
        writeFont(w, font);
        pending_.emplace_back(kFontFile, w.take());
    }
    return font;
}

void StartCache::save()
{
    for (const auto& [name, record] : pending_)
        writeRecord(folder_, name, record);
    pending_.clear();
}
