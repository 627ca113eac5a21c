// A settings store whose reads see this run's command-line choices first, then the user's store.
// Writes (the start-up pass, the statistics) go to the user's store.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>

#include "pipeline/SettingsStore.h"

namespace quillon {

class OverlaySettingsStore : public SettingsStore {
  public:
    explicit OverlaySettingsStore(SettingsStore& base) : base_(base) {}

    // Overrides are set before the run starts and never change during it.
    void OverrideInt(std::string_view section, std::string_view key, std::uint32_t value);
    void OverrideString(std::string_view section, std::string_view key, std::string value);

    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override;
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override;
    void PutString(std::string_view section, std::string_view key, std::string_view value) override;

  private:
    using Key = std::pair<std::string, std::string>;
    using Value = std::variant<std::uint32_t, std::string>;

    const Value* Find(std::string_view section, std::string_view key) const;

    SettingsStore& base_;
    std::map<Key, Value> overrides_;
};

}  // namespace quillon
