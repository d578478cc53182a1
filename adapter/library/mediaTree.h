#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The media files below the media folders, as a tree of folders. Names are the bytes the file
// system has, whatever they hold; the order is natural ("Episode 2" before "Episode 10"),
// folders before clips. What counts as media is the suffix table's (mediaSuffixes.h).
//
// Bounds, so that no folder tree can hold up the start:
// - folders more than kMaxDepth levels below a media folder are not entered;
// - a folder lists at most kMaxEntries folders and clips; the rest are cut;
// - the whole tree holds at most kMaxTotal folders and clips; scanning stops there.
// Symbolic links are followed, but no folder is entered twice (which also ends link loops),
// and no file is listed twice. Unreadable folders are skipped; a file that cannot be read is
// listed, and is reported unplayable when chosen.

constexpr int kMaxDepth = 8;
constexpr int kMaxEntries = 500;
constexpr int kMaxTotal = 20000;

struct MediaFolder
{
    std::string path; // absolute, without a trailing slash
    std::string name; // the folder's own name
    std::vector<MediaFolder> folders;
    std::vector<std::string> clips; // absolute paths
    bool cut = false;               // some entries were left out by the bounds
};

struct MediaScan
{
    std::vector<MediaFolder> folders; // the media folders that hold clips, in the order given
    // Each listed clip that has subtitle files beside it: their paths (trackNames.h), in
    // natural order.
    std::map<std::string, std::vector<std::string>> subtitles;
};

// A file as the disk knows it (device and inode), so that none is listed twice.
using FileId = std::pair<unsigned long long, unsigned long long>;

struct FolderEntry
{
    std::string name;
    bool isFolder = false; // a folder, or a link to one
    bool isFile = false;   // a regular file, or a link to one
    FileId id;
};

struct FolderListing
{
    bool isFolder = false; // false when the path is no folder or cannot be read
    FileId id;
    long long mtimeNs = -1;           // its modification time as it was opened, before it was read
    std::vector<FolderEntry> entries; // in the disk's order
};

// Reads one folder; the adapter's shell reads the disk, the tests hand in a tree of their own.
using FolderReader = std::function<FolderListing(const std::string& path)>;

// The names of the folders in the listing that a scan enters, in the order it enters them
// (hidden ones left out, natural order), pointing into the listing.
std::vector<const std::string*> foldersToEnter(const FolderListing& listing);

// The tree below the media folders (absolute paths), read through `read`.
MediaScan scanMedia(const std::vector<std::string>& directories, const FolderReader& read);

// True when a comes before b in natural order: runs of digits compare by their value, the rest
// byte by byte, ignoring the case of ASCII letters.
bool naturalLess(const std::string& a, const std::string& b);
