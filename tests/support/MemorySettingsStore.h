// A settings store held in memory, so tests never touch the user's settings.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "pipeline/SettingsStore.h"

namespace quillon::test {

class MemorySettingsStore : public SettingsStore {
  public:
    using Value = std::variant<std::uint32_t, std::string>;

    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override;
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override;
    void PutString(std::string_view section, std::string_view key, std::string_view value) override;

    // The stored value, or nothing when the key is absent.
    std::optional<Value> Find(std::string_view section, std::string_view key) const;
    void Remove(std::string_view section, std::string_view key);
    std::size_t Size() const;

  private:
    using Key = std::pair<std::string, std::string>;

    mutable std::mutex mutex_;
    std::map<Key, Value> values_;
};

}  // namespace quillon::test
