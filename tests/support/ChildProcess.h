// Runs part of a test in a child process, for limits and identities that must not touch the test
// program itself: a file-size limit, or an unprivileged user (CI runs as root, which file
// permissions do not stop).
#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

namespace quillon::test {

inline constexpr uid_t kNobody = 65534;

// Runs body in a forked child and returns its exit code, or -1 when it did not exit normally.
// The body must not use test assertions; it reports through its result.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// In a child: drops to the unprivileged "nobody" user when running as root. Returns false when
// that fails. Without root nothing changes, and permissions already stop the caller.
inline bool DropPrivileges() {
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
}

// Hands a tree to the user DropPrivileges drops to, as a user's own site is theirs: only then can
// a fault such as removing a permission be applied from the unprivileged side. Returns false
// when a change fails; without root nothing changes.
inline bool GiveTreeToUnprivilegedUser(const std::filesystem::path& root) {
    if (::geteuid() != 0) {
        return true;
    }
    bool given = ::lchown(root.c_str(), kNobody, kNobody) == 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        given = ::lchown(entry.path().c_str(), kNobody, kNobody) == 0 && given;
    }
    return given;
}

// In a child: limits the size of files this process may write, and turns the signal such writes
// raise into a plain write error.
inline bool LimitFileSize(long bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

}  // namespace quillon::test
