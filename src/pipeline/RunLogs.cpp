#include "pipeline/RunLogs.h"

#include <string>
#include <system_error>

#include "pipeline/SettingsKeys.h"

namespace quillon {

std::string ErrorLogEntry(std::string_view action, std::string_view path, std::string_view reason) {
    std::string entry = "Could not ";
    entry.append(action).append(": ").append(path).append(" (").append(reason).append(")\n");
    return entry;
}

RunLogs::RunLogs(const std::filesystem::path& tempFolder)
    : logPath_(tempFolder / kLogFileName), errorLogPath_(tempFolder / kErrorLogFileName) {
    std::error_code ignored;
    std::filesystem::remove(logPath_, ignored);
    std::filesystem::remove(errorLogPath_, ignored);
}

void RunLogs::OpenLog() {
    if (!log_) {
        log_.reset(std::fopen(logPath_.c_str(), "w"));
    }
}

void RunLogs::WriteFileLine(std::string_view path, std::uint32_t sizeBefore,
                            std::uint32_t sizeAfter) {
    if (log_) {
        // Sizes are written as signed values: files of 2 GiB or more never get this far.
        std::fprintf(log_.get(), "%s\t%d\t%d\n", std::string(path).c_str(),
                     static_cast<int>(sizeBefore), static_cast<int>(sizeAfter));
    }
}

void RunLogs::CloseLog() {
    log_.reset();
}

void RunLogs::OpenErrorLog() {
    if (!errorLog_) {
        errorLog_.reset(std::fopen(errorLogPath_.c_str(), "w"));
    }
}

void RunLogs::WriteErrorLog(std::string_view text) {
    if (errorLog_) {
        std::fwrite(text.data(), 1, text.size(), errorLog_.get());
    }
}

void RunLogs::CloseErrorLog() {
    errorLog_.reset();
}

LifetimeStatistics LifetimeStatistics::Load(const SettingsStore& store) {
    return {store.GetInt(section::kStatistics, key::kFilesProcessed, 0),
            store.GetInt(section::kStatistics, key::kBytesSaved, 0)};
}

void LifetimeStatistics::Store(SettingsStore& store) const {
    store.PutInt(section::kStatistics, key::kBytesSaved, bytesSaved);
    store.PutInt(section::kStatistics, key::kFilesProcessed, filesProcessed);
}

}  // namespace quillon
