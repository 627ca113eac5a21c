// Keeps two runs off one tree. A run locks the folder (or file) it works on and shares the locks
// of the folders above it; a second run on the same tree, above it or inside it then finds a
// lock it cannot take. The locks are advisory locks of the system, held by open descriptors, so
// the kernel releases them when the process ends, however it ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillon {

class TreeLock {
  public:
    TreeLock() = default;
    ~TreeLock();
    TreeLock(TreeLock&& other) noexcept;
    TreeLock& operator=(TreeLock&& other) noexcept;
    TreeLock(const TreeLock&) = delete;
    TreeLock& operator=(const TreeLock&) = delete;

    // Locks the tree at `root` for this run; false, with the locks taken so far released, when
    // another run holds the tree, a tree around it or one inside it. A folder that cannot be
    // opened is passed over: a run that cannot read it could not work on that tree either.
    // A run that holds one tree already passes its lock as `held`: the folders from that tree up
    // are then left to it, since the run's own locks would otherwise keep it out.
    bool Lock(const std::filesystem::path& root, const TreeLock* held = nullptr);
    void Release();

  private:
    std::vector<int> descriptors_;
    std::filesystem::path root_;  // as locked, for a later lock of the same run
};

}  // namespace quillon
