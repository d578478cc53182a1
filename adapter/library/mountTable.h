#pragma once

#include <string>
#include <vector>

// The removable media mounted now, as the kernel's mount table has them.

// A mount below a removable root: a USB stick, say, as the automounter put it there.
struct Mount
{
    std::string mountPoint; // absolute, escapes undone
    std::string label;      // the mount point's own name: what the menu calls it
};

// The mounts in the text of /proc/self/mountinfo whose mount point lies below one of `roots`
// (never a root itself): octal escapes (\040, \011, \012, \134) undone; one per mount point (a
// mount over a mount is one); a mount below another listed one is part of it, not one of its
// own. Sorted by label in natural order, then by mount point.
std::vector<Mount> removableMounts(const std::string& mountinfo,
                                   const std::vector<std::string>& roots);

// TAMBLIN_REMOVABLE split at ':' (empty parts dropped; set but empty: none at all), else /media
// and /run/media/USER.
std::vector<std::string> removableRoots(const char* tamblinRemovable, const std::string& user);
