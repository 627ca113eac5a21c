// A run's logs live in a folder of their own that goes when the run's pipeline object does;
// tests keep copies where they can read them afterwards, also from a child process.
#pragma once

#include <filesystem>
#include <system_error>
#include <utility>

#include "pipeline/RunLogs.h"

namespace quillon::test {

// Copies the per-run log to folder/run.log and the error log to folder/errors.log (each only
// when it exists: the report consumes the per-run log).
inline void KeepLogs(RunLogs& logs, const std::filesystem::path& folder) {
    logs.CloseLog();
    logs.CloseErrorLog();
    for (const auto& [from, to] :
         {std::pair{logs.LogPath(), "run.log"}, std::pair{logs.ErrorLogPath(), "errors.log"}}) {
        std::error_code ignored;
        std::filesystem::copy_file(from, folder / to,
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
}

}  // namespace quillon::test
