// A settings store held in memory, so tests never touch the user's settings.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <variant>

#include "pipeline/SettingsStore.h"

namespace quillon::test {

// A value stored as the other type reads as absent, as a number that is no number does in the
// real store.
class MemorySettingsStore : public SettingsStore {
  public:
    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override {
        return Get(section, key, fallback);
    }
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override {
        return Get(section, key, std::string(fallback));
    }
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override {
        std::lock_guard lock(mutex_);
        values_[{std::string(section), std::string(key)}] = value;
    }
    void PutString(std::string_view section, std::string_view key,
                   std::string_view value) override {
        std::lock_guard lock(mutex_);
        values_[{std::string(section), std::string(key)}] = std::string(value);
    }
    std::size_t Size() const {
        std::lock_guard lock(mutex_);
        return values_.size();
    }

  private:
    template <typename T>
    T Get(std::string_view section, std::string_view key, T fallback) const {
        std::lock_guard lock(mutex_);
        const auto found = values_.find({std::string(section), std::string(key)});
        const T* value = found == values_.end() ? nullptr : std::get_if<T>(&found->second);
        return value ? *value : fallback;
    }
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::variant<std::uint32_t, std::string>> values_;
};

}  // namespace quillon::test
