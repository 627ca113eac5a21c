#include "pipeline/RunLogs.h"

#include <random>
#include <string>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <cstdlib>
#define QUILLON_POSIX 1
#endif

#include "pipeline/SettingsKeys.h"

namespace quillon {

std::string ErrorLogEntry(std::string_view action, std::string_view path, std::string_view reason) {
    std::string entry = "Could not ";
    entry.append(action).append(": ").append(path).append(" (").append(reason).append(")\n");
    return entry;
}

namespace {

// A new folder only this user can enter; empty when none can be made.
std::filesystem::path MakePrivateFolder(const std::filesystem::path& tempFolder) {
#ifdef QUILLON_POSIX
    std::string pattern = (tempFolder / "quillon-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        return pattern;
    }
#else
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const auto folder = tempFolder / ("quillon-run-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            return folder;
        }
    }
#endif
    return {};
}

}  // namespace

RunLogs::RunLogs(const std::filesystem::path& tempFolder) : folder_(MakePrivateFolder(tempFolder)) {
    // Without a folder of their own the logs stay closed: a shared name is what this avoids.
    if (!folder_.empty()) {
        logPath_ = folder_ / kLogFileName;
        errorLogPath_ = folder_ / kErrorLogFileName;
    }
}

RunLogs::~RunLogs() {
    CloseLog();
    CloseErrorLog();
    if (folder_.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(logPath_, ignored);
    if (!keepErrorLog_) {
        std::filesystem::remove(errorLogPath_, ignored);
        std::filesystem::remove(folder_, ignored);
    }
}

void RunLogs::OpenLog() {
    if (!log_ && !logPath_.empty()) {
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
    if (!errorLog_ && !errorLogPath_.empty()) {
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
