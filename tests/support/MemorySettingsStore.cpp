#include "MemorySettingsStore.h"

namespace quillon::test {

std::uint32_t MemorySettingsStore::GetInt(std::string_view section, std::string_view key,
                                          std::uint32_t fallback) const {
    const auto value = Find(section, key);
    const auto* number = value ? std::get_if<std::uint32_t>(&*value) : nullptr;
    return number ? *number : fallback;
}

std::string MemorySettingsStore::GetString(std::string_view section, std::string_view key,
                                           std::string_view fallback) const {
    const auto value = Find(section, key);
    const auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? *text : std::string(fallback);
}

void MemorySettingsStore::PutInt(std::string_view section, std::string_view key,
                                 std::uint32_t value) {
    std::lock_guard lock(mutex_);
    values_[{std::string(section), std::string(key)}] = value;
}

void MemorySettingsStore::PutString(std::string_view section, std::string_view key,
                                    std::string_view value) {
    std::lock_guard lock(mutex_);
    values_[{std::string(section), std::string(key)}] = std::string(value);
}

std::optional<MemorySettingsStore::Value> MemorySettingsStore::Find(std::string_view section,
                                                                    std::string_view key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find({std::string(section), std::string(key)});
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void MemorySettingsStore::Remove(std::string_view section, std::string_view key) {
    std::lock_guard lock(mutex_);
    values_.erase({std::string(section), std::string(key)});
}

std::size_t MemorySettingsStore::Size() const {
    std::lock_guard lock(mutex_);
    return values_.size();
}

}  // namespace quillon::test
