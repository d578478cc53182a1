#include "folderReadAhead.h"

#include "mediaFolders.h"
#include "startCache.h"
#include "threadOrNone.h"

#include <algorithm>
#include <vector>

FolderReadAhead::Read FolderReadAhead::readNow(const std::string& path)
{
    Read r;
    r.listing = readFolder(path);
    // A folder's stamp is the folder's as it was opened: no second lookup of its path.
    if (r.listing.isFolder)
        r.stamp = {path, (long long)r.listing.id.first, (long long)r.listing.id.second,
                   r.listing.mtimeNs};
    else
        r.stamp = stampOf(path);
    return r;
}

// Without a thread, the scan reads every folder itself.
FolderReadAhead::FolderReadAhead() : thread_(threadOrNone(&FolderReadAhead::work, this)) {}

FolderReadAhead::~FolderReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
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
            r = readNow(path);
        }
    }
    queueFolders(path, r.listing);
    *stamp = std::move(r.stamp);
    return std::move(r.listing);
}

void FolderReadAhead::queueFolders(const std::string& path, const FolderListing& listing)
{
    if (!thread_.joinable())
        return;
    std::vector<const std::string*> names = foldersToEnter(listing);
    if (names.empty())
        return;
    // The scan lists no more of a folder than that.
    names.resize(std::min(names.size(), size_t(kMaxEntries)));
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
        Read r = readNow(path);
        lock.lock();
        read_.emplace(path, std::move(r));
        reading_.clear();
        changed_.notify_all();
    }
}
