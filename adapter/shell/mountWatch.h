#pragma once

#include "mountTable.h"
#include "uniqueFd.h"

#include <string>
#include <vector>

// The removable mounts as the kernel's mount table has them, kept current: the table's
// descriptor becomes ready when any mount comes or goes, so the loop waits on it like on any
// other and never reads the table in vain.
class MountWatch
{
  public:
    // Reads the table once, so that mounts() holds what is mounted at the start.
    explicit MountWatch(std::vector<std::string> roots);

    // -1 when there are no roots or the table cannot be opened. Poll it for POLLPRI: the kernel
    // marks a change with POLLPRI|POLLERR (it is always readable, so never poll for POLLIN).
    int fd() const { return fd_.get(); }

    // Reads the table again, from its start; true when mounts() changed. A table that cannot be
    // read leaves mounts() as they were.
    bool refresh();

    const std::vector<Mount>& mounts() const { return mounts_; }

  private:
    std::vector<std::string> roots_;
    UniqueFd fd_;
    std::vector<Mount> mounts_;
};
