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
    return DerivedPaths(DesktopFolder(), programFolder, temp);
}

}  // namespace quillon
