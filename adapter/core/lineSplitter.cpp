#include "lineSplitter.h"

namespace {

// Bytes of taken lines kept before they are dropped from the front of the buffer.
const size_t kTakenKept = 65536;

} // namespace

bool LineSplitter::next(std::string* line)
{
    size_t end = buffer_.find_first_of(ends_, searched_);
    if (end == std::string::npos) {
        searched_ = buffer_.size();
        if (buffer_.size() - start_ <= longest_)
            return false;
        end = start_ + longest_ - 1;
    }
    line->assign(buffer_, start_, end + 1 - start_);
    start_ = searched_ = end + 1;
    // Taken lines are dropped now and then, not at every line: cheap for many short lines.
    if (start_ == buffer_.size() || start_ > kTakenKept) {
        buffer_.erase(0, start_);
        searched_ -= start_;
        start_ = 0;
    }
    return true;
}

std::string LineSplitter::rest()
{
    std::string left = buffer_.substr(start_);
    buffer_.clear();
    start_ = searched_ = 0;
    return left;
}

std::string trimmedLine(const std::string& line)
{
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\r' || line[end - 1] == '\t' ||
                       line[end - 1] == '\n'))
        --end;
    size_t begin = 0;
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    return line.substr(begin, end - begin);
}
