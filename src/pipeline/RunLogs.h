// The per-run log, which lists every handled file with its sizes (the report is built from it),
// the error log, in which the GIF stage notes files it could not handle, and the lifetime
// statistics.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "pipeline/SettingsStore.h"

namespace quillon {

inline constexpr std::string_view kLogFileName = "Quillon.Log";
inline constexpr std::string_view kErrorLogFileName = "QuillonError.Log";

// One error-log entry, in the form every entry has: "Could not ACTION: PATH (REASON)" and a line
// feed, where ACTION names what failed ("read file", "write file", "read folder", ...).
std::string ErrorLogEntry(std::string_view action, std::string_view path, std::string_view reason);

// Both logs live in the temporary folder. Construction deletes the files a previous run left, so
// each run starts with neither log on disk. A log that cannot be created stays closed and what
// is written to it is dropped: logging never stops a run.
class RunLogs {
  public:
    explicit RunLogs(const std::filesystem::path& tempFolder);

    void OpenLog();
    // One line per file that went through the whole pipeline: path, size as read, final size.
    void WriteFileLine(std::string_view path, std::uint32_t sizeBefore, std::uint32_t sizeAfter);
    void CloseLog();

    void OpenErrorLog();
    void WriteErrorLog(std::string_view text);
    void CloseErrorLog();

    const std::filesystem::path& LogPath() const { return logPath_; }
    const std::filesystem::path& ErrorLogPath() const { return errorLogPath_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

    std::filesystem::path logPath_;
    std::filesystem::path errorLogPath_;
    UniqueFile log_;
    UniqueFile errorLog_;
};

// The lifetime figures of section "Statistics"; 32-bit values that wrap.
struct LifetimeStatistics {
    std::uint32_t filesProcessed = 0;
    std::uint32_t bytesSaved = 0;

    static LifetimeStatistics Load(const SettingsStore& store);
    void Store(SettingsStore& store) const;
};

}  // namespace quillon
