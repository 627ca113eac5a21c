// Which optimizer a file goes to, decided by the end of its name.
#pragma once

#include <string_view>

namespace quillon {

enum class FileClass { kNone, kWebPage, kGif, kJpeg };

// True when text ends with suffix, letters compared without regard to case. No dot is needed:
// "xhtm" ends with "HTM". An empty suffix never matches.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Backups made by in-place runs end so and are never processed.
inline constexpr std::string_view kBackupSuffix = "BAK";

// The class of the file at path, by the table of suffixes.
FileClass ClassifyPath(std::string_view path);

// "HTML File", "GIF File" or "JPEG File"; empty for kNone.
std::string_view TypeLabel(FileClass fileClass);

}  // namespace quillon
