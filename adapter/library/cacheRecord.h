#pragma once

#include "mediaTree.h"
#include "menuModel.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the adapter keeps between runs, as text that can be read back exactly, and checked as it
// is read: a file cut short, changed or written by something else reads as nothing, never as
// half a record. Numbers are written in decimal and end with ';', texts as their length, ':',
// and their bytes, whatever they hold.
class RecordWriter
{
  public:
    void number(long long value);
    void text(const std::string& value);
    const std::string& record() const { return out_; }
    // The record, the writer left empty: no copy of a large one.
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

class RecordReader
{
  public:
    explicit RecordReader(const std::string& record) : in_(record) {}
    // False, and from then on always false, when the record does not go on as asked.
    bool number(long long* value);
    bool text(std::string* value);
    // A number that must be the one given, a text that must be the one given.
    bool expect(long long value);
    bool expect(const std::string& value);
    bool atEnd() const { return ok_ && at_ == in_.size(); }
    size_t left() const { return in_.size() - at_; }
    bool ok() const { return ok_; }

  private:
    const std::string& in_;
    size_t at_ = 0;
    bool ok_ = true;
};

// A path as it was when a record was made: a change of the folder's entries (a file added,
// removed or renamed) changes its modification time; another folder or file in its place, its
// device and inode. mtimeNs -1: there was nothing there.
struct PathStamp
{
    std::string path;
    long long device = 0, inode = 0, mtimeNs = -1;
    bool operator==(const PathStamp& o) const
    {
        return path == o.path && device == o.device && inode == o.inode && mtimeNs == o.mtimeNs;
    }
};
void writeStamps(RecordWriter& w, const std::vector<PathStamp>& stamps);
bool readStamps(RecordReader& r, std::vector<PathStamp>* stamps);

void writeScan(RecordWriter& w, const MediaScan& scan);
bool readScan(RecordReader& r, MediaScan* scan);

// A 64-bit digest of a record's inputs, to key it on them: not for an adversary, only so that
// different inputs do not meet by chance.
uint64_t digest(std::string_view bytes, uint64_t seed = 0xcbf29ce484222325ULL);

// A digest of what the menus' definition holds (names, titles, labels, what entries do), with
// `more`: what a record made of them is keyed on.
uint64_t menusDigest(const std::vector<Menu>& menus, const std::string& more);
