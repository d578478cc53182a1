#include "folderReadAhead.h"

#include "mediaFolders.h"
#include "startCache.h"

#include <algorithm>
#include <vector>

FolderReadAhead::FolderReadAhead() : thread_(&FolderReadAhead::work, this) {}

FolderReadAhead::~FolderReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

FolderListing FolderReadAhead::read(const std::string& path, PathStamp* stamp)
{
    Read r;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return reading_ != path; });
        const auto found = read_.find(path);
        if (found != read_.end()) {
            r = std::move(found->second);
            read_.erase(found);
        } else {
            const auto queued = std::find(queue_.begin(), queue_.end(), path);
            if (queued != queue_.end())
                queue_.erase(queued);
            lock.unlock();
            r.stamp = stampOf(path);
            r.listing = readFolder(path);
        }
    }
    queueFolders(path, r.listing);
    *stamp = std::move(r.stamp);
    return std::move(r.listing);
}

void FolderReadAhead::queueFolders(const std::string& path, const FolderListing& listing)
{
    std::vector<const std::string*> names;
    for (const FolderEntry& e : listing.entries) {
        if (e.isFolder && !e.name.empty() && e.name[0] != '.')
            names.push_back(&e.name);
    }
    if (names.empty())
        return;
    std::sort(names.begin(), names.end(),
              [](const std::string* a, const std::string* b) { return naturalLess(*a, *b); });
    const std::string prefix = path == "/" ? "/" : path + "/";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto n = names.rbegin(); n != names.rend(); ++n)
            queue_.push_front(prefix + **n);
    }
    changed_.notify_all();
}

void FolderReadAhead::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        const std::string path = queue_.back();
        queue_.pop_back();
        reading_ = path;
        lock.unlock();
        Read r;
        r.stamp = stampOf(path);
        r.listing = readFolder(path);
        lock.lock();
        read_.emplace(path, std::move(r));
        reading_.clear();
        changed_.notify_all();
    }
}
