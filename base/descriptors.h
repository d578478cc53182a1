#pragma once

#include <cstddef>
#include <string>

// Writes every byte, across short writes and interrupted calls. False on any other error,
// with errno set.
bool writeAll(int fd, const void* data, size_t size);
inline bool writeAll(int fd, const std::string& text)
{
    return writeAll(fd, text.data(), text.size());
}

// Turns O_NONBLOCK on or off. False when it could not: a wait that relies on it would not be
// bounded, so callers must not go on as if it were set.
bool setNonBlocking(int fd, bool on);
