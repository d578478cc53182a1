#include "cacheRecord.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

void writeFolder(RecordWriter& w, const MediaFolder& f)
{
    w.text(f.path);
    w.text(f.name);
    w.number(f.cut);
    w.number((long long)f.clips.size());
    for (const std::string& clip : f.clips)
        w.text(clip);
    w.number((long long)f.folders.size());
    for (const MediaFolder& sub : f.folders)
        writeFolder(w, sub);
}

// A count of things that the rest of the record can hold (each takes two bytes at least), so
// that a damaged count cannot ask for the world.
bool readCount(RecordReader& r, long long* count)
{
    return r.number(count) && *count >= 0 && (unsigned long long)*count <= r.left() / 2;
}

bool readFolder(RecordReader& r, MediaFolder* f, int depth)
{
    long long cut = 0, count = 0;
    if (depth > kMaxDepth + 1 || !r.text(&f->path) || !r.text(&f->name) || !r.number(&cut) ||
        !readCount(r, &count))
        return false;
    f->cut = cut != 0;
    f->clips.resize(size_t(count));
    for (std::string& clip : f->clips) {
        if (!r.text(&clip))
            return false;
    }
    if (!readCount(r, &count))
        return false;
    f->folders.resize(size_t(count));
    for (MediaFolder& sub : f->folders) {
        if (!readFolder(r, &sub, depth + 1))
            return false;
    }
    return true;
}

} // namespace

void RecordWriter::number(long long value)
{
    out_ += std::to_string(value);
    out_ += ';';
}

void RecordWriter::text(const std::string& value)
{
    out_ += std::to_string(value.size());
    out_ += ':';
    out_ += value;
}

bool RecordReader::number(long long* value)
{
    if (!ok_)
        return false;
    size_t at = at_;
    const bool negative = at < in_.size() && in_[at] == '-';
    at += negative;
    unsigned long long v = 0; // 19 digits at most: no overflow
    const size_t first = at;
    while (at < in_.size() && std::isdigit(static_cast<unsigned char>(in_[at])) && at - first < 19)
        v = v * 10 + unsigned(in_[at++] - '0');
    ok_ = at > first && at < in_.size() && in_[at] == ';' && v <= (unsigned long long)LLONG_MAX;
    if (!ok_)
        return false;
    at_ = at + 1;
    *value = negative ? -(long long)v : (long long)v;
    return true;
}

bool RecordReader::text(std::string* value)
{
    if (!ok_)
        return false;
    size_t at = at_, length = 0;
    const size_t first = at;
    while (at < in_.size() && std::isdigit(static_cast<unsigned char>(in_[at])) && at - first < 10)
        length = length * 10 + size_t(in_[at++] - '0');
    ok_ = at > first && at < in_.size() && in_[at] == ':' && in_.size() - at - 1 >= length;
    if (!ok_)
        return false;
    value->assign(in_, at + 1, length);
    at_ = at + 1 + length;
    return true;
}

bool RecordReader::expect(long long value)
{
    long long v = 0;
    ok_ = number(&v) && v == value;
    return ok_;
}

bool RecordReader::expect(const std::string& value)
{
    std::string v;
    ok_ = text(&v) && v == value;
    return ok_;
}

void writeStamps(RecordWriter& w, const std::vector<PathStamp>& stamps)
{
    w.number((long long)stamps.size());
    for (const PathStamp& s : stamps) {
        w.text(s.path);
        w.number(s.device);
        w.number(s.inode);
        w.number(s.mtimeNs);
    }
}

bool readStamps(RecordReader& r, std::vector<PathStamp>* stamps)
{
    long long count = 0;
    if (!readCount(r, &count))
        return false;
    stamps->resize(size_t(count));
    for (PathStamp& s : *stamps) {
        if (!r.text(&s.path) || !r.number(&s.device) || !r.number(&s.inode) ||
            !r.number(&s.mtimeNs))
            return false;
    }
    return true;
}

void writeScan(RecordWriter& w, const MediaScan& scan)
{
    w.number((long long)scan.folders.size());
    for (const MediaFolder& f : scan.folders)
        writeFolder(w, f);
    w.number((long long)scan.subtitles.size());
    for (const auto& [clip, files] : scan.subtitles) {
        w.text(clip);
        w.number((long long)files.size());
        for (const std::string& file : files)
            w.text(file);
    }
}

bool readScan(RecordReader& r, MediaScan* scan)
{
    long long count = 0;
    if (!readCount(r, &count))
        return false;
    scan->folders.resize(size_t(count));
    for (MediaFolder& f : scan->folders) {
        if (!readFolder(r, &f, 0))
            return false;
    }
    if (!readCount(r, &count))
        return false;
    for (long long i = 0; i < count; ++i) {
        std::string clip;
        long long files = 0;
        if (!r.text(&clip) || !readCount(r, &files))
            return false;
        std::vector<std::string>& list = scan->subtitles[clip];
        list.resize(size_t(files));
        for (std::string& file : list) {
            if (!r.text(&file))
                return false;
        }
    }
    return true;
}

uint64_t digest(std::string_view bytes, uint64_t seed)
{
    // Eight bytes at a time, with the length: a byte at a time took milliseconds over the menus
    // of 10,000 clips.
    const auto mix = [](uint64_t h, uint64_t word) {
        h = (h ^ word) * 0x9e3779b97f4a7c15ULL;
        return h ^ (h >> 29);
    };
    uint64_t h = mix(seed, bytes.size());
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        uint64_t word;
        memcpy(&word, bytes.data() + at, 8);
        h = mix(h, word);
    }
    uint64_t last = 0;
    memcpy(&last, bytes.data() + at, bytes.size() - at);
    return mix(h, last);
}

uint64_t menusDigest(const std::vector<Menu>& menus, const std::string& more)
{
    uint64_t h = digest(more);
    // Each text with its length (digest() mixes it in), so that no two different menus run
    // together alike.
    const auto add = [&h](const std::string& text) { h = digest(text, h); };
    for (const Menu& m : menus) {
        add(m.name);
        add(m.title);
        add(m.listed ? "listed" : "fixed");
        for (const MenuEntry& e : m.entries) {
            add(e.label);
            add(std::to_string(int(e.kind)));
            add(e.argument);
        }
        add(std::to_string(m.entries.size()));
    }
    return h;
}
