// The settings store on QSettings: the user's native store (the registry on Windows, an INI file
// under the XDG config folder on Linux), or a given INI file.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <mutex>

#include "pipeline/SettingsStore.h"

namespace quillon {

class QtSettingsStore : public SettingsStore {
  public:
    // The user's store: organization "Tallowick", application "Quillon".
    QtSettingsStore();
    // An INI file instead of the user's store.
    explicit QtSettingsStore(const QString& iniPath);

    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override;
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override;
    void PutString(std::string_view section, std::string_view key, std::string_view value) override;

    // Writes pending changes to permanent storage; reports whether that worked.
    bool Sync();

  private:
    // One QSettings object serves the window and the worker; it is not safe for concurrent use.
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quillon
