#include "app/Platform.h"

#include <QStandardPaths>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillon {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    constexpr int kMegabyte = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, 32 * kMegabyte);  // the largest the allocator takes
    mallopt(M_TRIM_THRESHOLD, 256 * kMegabyte);
    mallopt(M_TOP_PAD, 64 * kMegabyte);
#endif
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

std::optional<std::string> HomeFolderProblem() {
#if defined(_WIN32)
    return std::nullopt;  // Windows derives the user's folders from the profile, not from HOME
#else
    const char* home = std::getenv("HOME");
    const std::string advice =
        ", so Quillon has no home folder for its settings, its statistics and the default "
        "destination on your desktop. Set HOME to your home folder (for example "
        "HOME=/home/yourname) and start it again.";
    if (home == nullptr || *home == '\0') {
        return "HOME is not set" + advice;
    }
    if (!std::filesystem::path(home).is_absolute()) {
        return "HOME is not set to an absolute path (it is '" + std::string(home) + "')" + advice;
    }
    return std::nullopt;
#endif
}

std::filesystem::path DesktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return std::filesystem::path(desktop.toStdString());
}

DerivedPaths MakeDerivedPaths(const std::filesystem::path& programFolder) {
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) {
        temp = programFolder;  // TMPDIR names no folder; the logs still need a home
    }
    // Installed, the help texts and the guide live in share/quillon beside bin/; in the build
    // tree they sit next to the program.
    const std::filesystem::path installed = programFolder / ".." / "share" / "quillon";
    const std::filesystem::path dataFolder = std::filesystem::is_directory(installed, error)
                                                 ? installed.lexically_normal()
                                                 : programFolder;
    return DerivedPaths(DesktopFolder(), dataFolder, temp);
}

}  // namespace quillon
