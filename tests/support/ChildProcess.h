// Runs part of a test in a child process, for limits and identities that must not touch the test
// program itself: a file-size limit, or an unprivileged user (CI runs as root, which file
// permissions do not stop).
#pragma once

#include <filesystem>
#include <functional>

namespace quillon::test {

// Runs body in a forked child and returns its exit code, or -1 when it did not exit normally.
// The body must not use test assertions; it reports through its result.
int RunInChild(const std::function<int()>& body);

// In a child: drops to the unprivileged "nobody" user when running as root. Returns false when
// that fails. Without root nothing changes, and permissions already stop the caller.
bool DropPrivileges();

// Hands a tree to the user DropPrivileges drops to, as a user's own site is theirs: only then can
// a fault such as removing a permission be applied from the unprivileged side. Returns false
// when a change fails; without root nothing changes.
bool GiveTreeToUnprivilegedUser(const std::filesystem::path& root);

// In a child: limits the size of files this process may write, and turns the signal such writes
// raise into a plain write error.
bool LimitFileSize(long bytes);

}  // namespace quillon::test
