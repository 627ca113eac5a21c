// The per-user settings: named sections holding integer and string values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Settings are read at the moment they are needed and never cached, so a change saved in the
// settings dialog takes effect at the next read. Every read names its own default, returned when
// the value is absent. Implementations are safe to call from the window and the worker thread.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Integers are stored as unsigned 32-bit values: the lifetime statistics wrap at 32 bits.
    virtual std::uint32_t GetInt(std::string_view section, std::string_view key,
                                 std::uint32_t fallback) const = 0;
    virtual std::string GetString(std::string_view section, std::string_view key,
                                  std::string_view fallback) const = 0;
    virtual void PutInt(std::string_view section, std::string_view key, std::uint32_t value) = 0;
    virtual void PutString(std::string_view section, std::string_view key,
                           std::string_view value) = 0;
};

}  // namespace quillon
