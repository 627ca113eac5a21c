#include "cli/OverlaySettingsStore.h"

namespace quillon {

void OverlaySettingsStore::OverrideInt(std::string_view section, std::string_view key,
                                       std::uint32_t value) {
    overrides_[{std::string(section), std::string(key)}] = value;
}

void OverlaySettingsStore::OverrideString(std::string_view section, std::string_view key,
                                          std::string value) {
    overrides_[{std::string(section), std::string(key)}] = std::move(value);
}

const OverlaySettingsStore::Value* OverlaySettingsStore::Find(std::string_view section,
                                                              std::string_view key) const {
    const auto found = overrides_.find({std::string(section), std::string(key)});
    return found == overrides_.end() ? nullptr : &found->second;
}

std::uint32_t OverlaySettingsStore::GetInt(std::string_view section, std::string_view key,
                                           std::uint32_t fallback) const {
    const Value* value = Find(section, key);
    if (const auto* number = value ? std::get_if<std::uint32_t>(value) : nullptr) {
        return *number;
    }
    return base_.GetInt(section, key, fallback);
}

std::string OverlaySettingsStore::GetString(std::string_view section, std::string_view key,
                                            std::string_view fallback) const {
    const Value* value = Find(section, key);
    if (const auto* text = value ? std::get_if<std::string>(value) : nullptr) {
        return *text;
    }
    return base_.GetString(section, key, fallback);
}

void OverlaySettingsStore::PutInt(std::string_view section, std::string_view key,
                                  std::uint32_t value) {
    base_.PutInt(section, key, value);
}

void OverlaySettingsStore::PutString(std::string_view section, std::string_view key,
                                     std::string_view value) {
    base_.PutString(section, key, value);
}

}  // namespace quillon
