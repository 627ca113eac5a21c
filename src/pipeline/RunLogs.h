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

// Both logs live in a folder of their own in the temporary folder, made for this run and readable
// by its user only, so that runs going on at the same time never share a log and nobody else
// reads the names of the user's files. The folder goes when the logs do, unless the error log
// was handed to a viewer. A log that cannot be created stays closed and what is written to it is
// dropped: logging never stops a run.
class RunLogs {
  public:
    explicit RunLogs(const std::filesystem::path& tempFolder);
    ~RunLogs();
    RunLogs(const RunLogs&) = delete;
    RunLogs& operator=(const RunLogs&) = delete;

    void OpenLog();
    // One line per file that went through the whole pipeline: path, size as read, final size.
    void WriteFileLine(std::string_view path, std::uint32_t sizeBefore, std::uint32_t sizeAfter);
    void CloseLog();

    void OpenErrorLog();
    void WriteErrorLog(std::string_view text);
    void CloseErrorLog();
    // The error log outlives the run: a viewer opened on it reads it later.
    void KeepErrorLog() { keepErrorLog_ = true; }

    const std::filesystem::path& LogPath() const { return logPath_; }
    const std::filesystem::path& ErrorLogPath() const { return errorLogPath_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

    std::filesystem::path folder_;
    std::filesystem::path logPath_;
    std::filesystem::path errorLogPath_;
    UniqueFile log_;
    UniqueFile errorLog_;
    bool keepErrorLog_ = false;
};

// The lifetime figures of section "Statistics"; 32-bit values that wrap.
struct LifetimeStatistics {
    std::uint32_t filesProcessed = 0;
    std::uint32_t bytesSaved = 0;

    static LifetimeStatistics Load(const SettingsStore& store);
    void Store(SettingsStore& store) const;
};

}  // namespace quillon
