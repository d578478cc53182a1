#pragma once

#include <string>

// An option file that the player is given on its command line before its text is known, so
// that it can start while the window does. The path is a FIFO until the text comes: the player
// waits in its read, and nothing is served stale or half written. MPlayer reads the file twice
// (once to look for options that change how it parses the rest): the text also replaces the
// FIFO as a plain file, which the second read opens.
class OptionFile
{
  public:
    OptionFile() = default;
    OptionFile(const OptionFile&) = delete;
    OptionFile& operator=(const OptionFile&) = delete;
    ~OptionFile();

    // Makes the FIFO at path, a folder of our own. False, with errno set, when it cannot.
    bool create(const std::string& path);
    // Gives the text to the player's reads, once. False, with errno set, on failure; the
    // player's read then ends with what it has.
    bool serve(const std::string& text);

  private:
    std::string path_;
    int fd_ = -1; // read and write: keeps the FIFO from ending before the text is in
};
