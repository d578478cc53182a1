#include "optionFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OptionFile::~OptionFile()
{
    if (fd_ >= 0)
        close(fd_);
}

bool OptionFile::create(const std::string& path)
{
    if (mkfifo(path.c_str(), 0600) != 0)
        return false;
    // Opened for both reading and writing, it opens at once, and the player's open does too.
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    path_ = path;
    return true;
}

bool OptionFile::serve(const std::string& text)
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    int error = 0;
    // The plain file first, for the reads that open the path after this one.
    const std::string next = path_ + ".new";
    const int file = open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0)
        error = errno;
    else if (write(file, text.data(), text.size()) != ssize_t(text.size()) || close(file) != 0 ||
             rename(next.c_str(), path_.c_str()) != 0)
        error = errno ? errno : EIO;
    // Then the FIFO, for a read already in it or on its way: far less than a pipe holds, so
    // never a wait; its end comes when we close.
    if (write(fd_, text.data(), text.size()) != ssize_t(text.size()) && error == 0)
        error = errno ? errno : EIO;
    close(fd_);
    fd_ = -1;
    errno = error;
    return error == 0;
}
