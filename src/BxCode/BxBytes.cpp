#include "BxCode/BxBytes.h"

void BxCopyBytes(void* destination, const void* source, std::size_t count) {
    auto* to = static_cast<std::uint8_t*>(destination);
    const auto* from = static_cast<const std::uint8_t*>(source);
    for (std::size_t i = 0; i < count; ++i) {
        to[i] = from[i];
    }
}

void BxFillBytes(void* destination, std::uint8_t value, std::size_t count) {
    auto* to = static_cast<std::uint8_t*>(destination);
    for (std::size_t i = 0; i < count; ++i) {
        to[i] = value;
    }
}

int BxCompareBytes(const void* first, const void* second, std::size_t count) {
    const auto* a = static_cast<const std::uint8_t*>(first);
    const auto* b = static_cast<const std::uint8_t*>(second);
    for (std::size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return int{a[i]} - int{b[i]};
        }
    }
    return 0;
}
