#include "textopt/TextBuffer.h"

#include <cassert>
#include <cstring>

namespace quillon {

TextLength CompactDeleted(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    const auto size = static_cast<std::size_t>(length);
    // Most passes delete little, so the untouched prefix is found at memchr speed and left alone.
    const void* firstDeleted = std::memchr(text, 0, size);
    if (firstDeleted == nullptr) {
        return length;
    }
    std::size_t write =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(firstDeleted) - text);
    std::size_t read = write;
    // Invariant: text[0, write) holds the kept bytes of text[0, read) in order, and write <= read.
    while (read < size) {
        while (read < size && text[read] == 0) {
            ++read;
        }
        const void* nextDeleted = std::memchr(text + read, 0, size - read);
        const std::size_t runEnd =
            nextDeleted
                ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nextDeleted) - text)
                : size;
        assert(write <= read);
        std::memmove(text + write, text + read, runEnd - read);
        write += runEnd - read;
        read = runEnd;
    }
    return static_cast<TextLength>(write);
}

}  // namespace quillon
