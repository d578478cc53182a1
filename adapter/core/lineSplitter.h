#pragma once

#include <cstddef>
#include <string>

// Cuts a stream of bytes into lines. A line keeps its end, so that it can be passed on as it
// came; a line longer than `longest` comes out in pieces without an end, rather than being
// held without bound.
class LineSplitter
{
  public:
    // Longer lines come out in pieces: far longer than any line the players or the window write.
    static constexpr size_t kLongestLine = 65536;

    explicit LineSplitter(const char* ends = "\n", size_t longest = kLongestLine)
        : ends_(ends), longest_(longest)
    {
    }

    void append(const char* data, size_t size) { buffer_.append(data, size); }
    // Takes the next whole line (or over-long piece); false when there is none yet.
    bool next(std::string* line);
    // Takes what is left at the stream's end: a last line without its end.
    std::string rest();

  private:
    const char* ends_;
    size_t longest_;
    std::string buffer_;
    size_t start_ = 0;
    size_t searched_ = 0; // where the search for the next end goes on
};

// The line without its end and the blanks around it, as a command line is read.
std::string trimmedLine(const std::string& line);
