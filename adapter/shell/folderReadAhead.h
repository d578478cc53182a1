#pragma once

#include "cacheRecord.h"
#include "mediaTree.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

// The folders of a scan, read on a second thread ahead of the scan that asks for them: while it
// works on a folder, the folders in it are read, in the order it takes them (depth first,
// naturally sorted). What it never asks for is dropped; a folder it asks for before the thread
// has come to it, it reads itself.
class FolderReadAhead
{
  public:
    FolderReadAhead();
    // Waits only for the folder being read.
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    // The folder as readFolder() has it, and its stamp (stampOf()), taken before it was read.
    FolderListing read(const std::string& path, PathStamp* stamp);

  private:
    struct Read
    {
        PathStamp stamp;
        FolderListing listing;
    };
    static Read readNow(const std::string& path);
    void work();
    void queueFolders(const std::string& path, const FolderListing& listing);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_; // the next to read first
    std::string reading_;           // the one being read; empty when none
    std::unordered_map<std::string, Read> read_;
    bool stop_ = false;
    std::thread thread_; // none when it could not be started
};
