#pragma once

#include "mediaTree.h"
#include "uniqueFd.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Reads the media on sticks off the loop: a stick with thousands of files, or a slow one, must
// not hold up a key. One worker thread scans one mount point at a time, within the media tree's
// bounds, and the loop collects what is done when fd() becomes readable.
class StickScanner
{
  public:
    StickScanner();
    // Never waits on a slow disk for long: the scan checks for the end between folders.
    ~StickScanner();
    StickScanner(const StickScanner&) = delete;
    StickScanner& operator=(const StickScanner&) = delete;

    // Readable when a scan is done; -1 when it could not be made (then nothing is scanned).
    int fd() const { return ready_.get(); }

    // Queued; a later scan of the same point replaces it, also one that is under way.
    void scan(const std::string& mountPoint);
    // The stick is gone: its scan, queued, under way or done and not yet collected, is dropped.
    void forget(const std::string& mountPoint);
    // The scans done since last asked, in order. Clears fd()'s readiness.
    std::vector<std::pair<std::string, MediaScan>> done();

  private:
    void work();
    FolderListing readUnlessDropped(const std::string& path) const;

    UniqueFd ready_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    std::vector<std::pair<std::string, MediaScan>> done_;
    std::string current_; // the point under way, empty between scans
    bool stopping_ = false;
    // Read by the scan between folders, without the lock: the end, or the current scan dropped.
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropCurrent_{false};
    std::thread worker_;
};
