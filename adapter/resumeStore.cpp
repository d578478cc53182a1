#include "resumeStore.h"

#include "descriptors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHeader[] = "tamblin positions 1";

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Makes the folder and those above it, for this user alone.
bool makeFolders(const std::string& dir)
{
    if (dir.empty() || dir == "/" || dir == ".")
        return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    return makeFolders(folderOf(dir)) && (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST);
}

} // namespace

std::string positionsFile(const char* xdgStateHome, const char* home)
{
    if (xdgStateHome && xdgStateHome[0] == '/')
        return std::string(xdgStateHome) + "/tamblin/positions";
    if (home && *home)
        return std::string(home) + "/.local/state/tamblin/positions";
    return {};
}

void ResumeStore::load()
{
    entries_.clear();
    if (file_.empty())
        return;
    std::ifstream in(file_);
    if (!in) {
        fprintf(stderr, "tamblin-adapter: %s: %s; clips start from the beginning\n", file_.c_str(),
                strerror(errno));
        return;
    }
    std::string line;
    bool good = std::getline(in, line) && line == kHeader;
    std::vector<Entry> read;
    while (good && std::getline(in, line)) {
        char* end = nullptr;
        const double position = strtod(line.c_str(), &end);
        char* end2 = nullptr;
        const double length = *end == ' ' ? strtod(end + 1, &end2) : NAN;
        good = end2 && *end2 == ' ' && end2[1] == '/' && std::isfinite(position) &&
               std::isfinite(length) && position >= 0 && length >= position;
        if (good)
            read.push_back({std::string(end2 + 1), position, length});
    }
    if (!good || read.size() > size_t(kMaxClips)) {
        fprintf(stderr, "tamblin-adapter: %s is not a positions file; ignoring it\n",
                file_.c_str());
        return;
    }
    entries_ = std::move(read);
}

double ResumeStore::startAt(const std::string& clip) const
{
    for (const Entry& e : entries_) {
        if (e.clip == clip)
            return e.position;
    }
    return 0;
}

void ResumeStore::left(const std::string& clip, double position, double length)
{
    forget(clip);
    if (position >= kResumeMarginSeconds && position < length - kResumeMarginSeconds &&
        clip.find('\n') == std::string::npos) {
        entries_.push_back({clip, position, length});
        if (entries_.size() > size_t(kMaxClips))
            entries_.erase(entries_.begin());
    }
    save();
}

void ResumeStore::finished(const std::string& clip)
{
    const size_t before = entries_.size();
    forget(clip);
    if (entries_.size() != before)
        save();
}

void ResumeStore::forget(const std::string& clip)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.clip == clip; }),
                   entries_.end());
}

void ResumeStore::save()
{
    if (file_.empty() || !makeFolders(folderOf(file_)))
        return;
    std::string text = std::string(kHeader) + "\n";
    char number[64];
    for (const Entry& e : entries_) {
        snprintf(number, sizeof number, "%.3f %.3f ", e.position, e.length);
        text += number + e.clip + "\n";
    }
    const std::string temporary = file_ + ".tmp" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        fprintf(stderr, "tamblin-adapter: %s: %s\n", temporary.c_str(), strerror(errno));
        return;
    }
    const bool written = writeAll(fd, text) && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temporary.c_str(), file_.c_str()) != 0) {
        fprintf(stderr, "tamblin-adapter: %s: %s\n", file_.c_str(), strerror(errno));
        unlink(temporary.c_str());
    }
}
