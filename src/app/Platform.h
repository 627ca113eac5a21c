// The platform's folders, as the program derives them at start-up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "pipeline/DerivedPaths.h"

namespace quillon {

// Why the home folder cannot be used, or nothing when it can. The settings, the lifetime
// statistics, the desktop and with it the default destination and the report all live below
// HOME; without an absolute HOME they would land at the root of the file system (or wherever the
// program was started), so both front ends refuse to start instead.
std::optional<std::string> HomeFolderProblem();

// Lets the memory allocator keep what a run frees for the next file instead of handing it back to
// the system at once: a run allocates and frees frame buffers of megabytes by the thousand, and
// on a virtual machine faulting each page in again costs more than the GIF stage's own work on
// it (a tenth of its time). Blocks up to 32 MB come from the reused heap, and up to 256 MB of
// freed memory is kept. Where the allocator offers no such settings this does nothing.
void KeepFreedMemoryForReuse();

// Hands back to the system what the allocator kept, for a program that stays open between runs.
void ReleaseFreedMemory();

// The user's desktop folder (the XDG desktop folder on Linux).
std::filesystem::path DesktopFolder();

// The derived paths for a program that lives in programFolder, with the user's desktop and the
// system's temporary folder. The help texts and the guide are looked for in ../share/quillon
// beside the program's folder, then in the program's folder itself.
DerivedPaths MakeDerivedPaths(const std::filesystem::path& programFolder);

}  // namespace quillon
