#include "stickScanner.h"

#include "mediaFolders.h"
#include "threadOrNone.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sys/eventfd.h>
#include <unistd.h>

StickScanner::StickScanner() : ready_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!ready_.valid())
        return;
    worker_ = threadOrNone(&StickScanner::work, this);
    if (!worker_.joinable()) {
        fprintf(stderr, "tamblin-adapter: cannot start reading sticks\n");
        ready_.reset(); // sticks go unscanned
    }
}

StickScanner::~StickScanner()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        stop_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable())
        worker_.join();
}

void StickScanner::scan(const std::string& mountPoint)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.erase(std::remove(queue_.begin(), queue_.end(), mountPoint), queue_.end());
        if (current_ == mountPoint)
            dropCurrent_ = true;
        queue_.push_back(mountPoint);
    }
    wake_.notify_one();
}

void StickScanner::forget(const std::string& mountPoint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), mountPoint), queue_.end());
    done_.erase(std::remove_if(done_.begin(), done_.end(),
                               [&](const auto& d) { return d.first == mountPoint; }),
                done_.end());
    if (current_ == mountPoint)
        dropCurrent_ = true;
}

std::vector<std::pair<std::string, MediaScan>> StickScanner::done()
{
    // Cleared before taking the list: a scan finished after this wakes the loop again.
    uint64_t count;
    [[maybe_unused]] const ssize_t n = read(ready_.get(), &count, sizeof count);
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(done_, {});
}

FolderListing StickScanner::readUnlessDropped(const std::string& path) const
{
    // An empty listing ends the scan's walk quickly: nothing more is read from the disk.
    if (stop_ || dropCurrent_)
        return {};
    return readFolder(path);
}

void StickScanner::work()
{
    const FolderReader read = [this](const std::string& path) { return readUnlessDropped(path); };
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        const std::string point = queue_.front();
        queue_.pop_front();
        current_ = point;
        dropCurrent_ = false;
        lock.unlock();
        MediaScan scan = scanMedia({point}, read);
        lock.lock();
        if (!dropCurrent_ && !stopping_) {
            done_.emplace_back(point, std::move(scan));
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(ready_.get(), &one, sizeof one);
        }
        current_.clear();
    }
}
