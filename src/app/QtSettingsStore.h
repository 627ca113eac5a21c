// The settings store on QSettings: the user's native store (the registry on Windows, an INI file
// under the XDG config folder on Linux), or a given INI file.
#pragma once

#include <QSettings>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "pipeline/SettingsStore.h"

namespace quillon {

class QtSettingsStore : public SettingsStore {
  public:
    // The user's store: organization "Tallowick", application "Quillon".
    QtSettingsStore();
    // An INI file instead of the user's store.
    explicit QtSettingsStore(const QString& iniPath);

    // Why the file at path must not be used as an INI settings file, as a sentence, or nothing
    // when it may. A missing file may: the first save creates it. An existing one must be a
    // readable text file in INI form (blank lines, comments, [section] lines and key=value
    // lines), as every file this store writes is; anything else, a web page say, would be
    // replaced by the settings on the first save.
    static std::optional<std::string> UnusableSettingsFile(const std::filesystem::path& path);

    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override;
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override;
    void PutString(std::string_view section, std::string_view key, std::string_view value) override;

    // Writes pending changes to permanent storage; reports whether that worked. After a failure
    // the values stay here and the next Sync tries again.
    bool Sync();
    // After a failed Sync: the file and why it could not be written, as one sentence.
    std::string SyncError() const;
    // Where the settings are kept.
    QString FileName() const;

  private:
    void ReopenKeepingValues();

    // One QSettings object serves the window and the worker; it is not safe for concurrent use.
    mutable std::mutex mutex_;
    std::function<std::unique_ptr<QSettings>()> open_;
    std::unique_ptr<QSettings> settings_;
    bool dirty_ = false;  // values put since the last save that worked
    bool syncFailed_ = false;
    std::string syncError_;
};

}  // namespace quillon
