// Which optimizer a file goes to; the table of kinds (FileKinds.h) says how each is recognised.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillon {

enum class FileClass { kNone, kWebPage, kGif, kJpeg };

// How many classes the table of kinds holds: all but kNone.
inline constexpr std::size_t kFileKindCount = 3;

// True when text ends with suffix, letters compared without regard to case. No dot is needed:
// "xhtm" ends with "HTM". An empty suffix never matches.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Backups made by in-place runs end so and are never processed.
inline constexpr std::string_view kBackupSuffix = "BAK";

}  // namespace quillon
