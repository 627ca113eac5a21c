// The platform's folders, as the program derives them at start-up.
#pragma once

#include <filesystem>

#include "pipeline/DerivedPaths.h"

namespace quillon {

// The user's desktop folder (the XDG desktop folder on Linux).
std::filesystem::path DesktopFolder();

// The derived paths for a program that lives in programFolder, with the user's desktop and the
// system's temporary folder. The help texts and the guide are looked for in ../share/quillon
// beside the program's folder, then in the program's folder itself.
DerivedPaths MakeDerivedPaths(const std::filesystem::path& programFolder);

}  // namespace quillon
