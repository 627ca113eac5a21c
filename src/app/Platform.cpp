#include "app/Platform.h"

#include <QStandardPaths>

namespace quillon {

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
