#include "textopt/TextBuffer.h"

#include <cassert>
#include <cstring>

#include "textopt/ByteScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {
namespace {

// Copies `size` bytes (at least one Word, at most two) from `from` to `to`, reading them all
// before writing any, so the two may overlap. A fixed-size memcpy is a single load or store.
template <typename Word>
void MoveWords(std::uint8_t* to, const std::uint8_t* from, TextLength size) {
    Word first;
    Word last;
    std::memcpy(&first, from, sizeof first);
    std::memcpy(&last, from + size - static_cast<TextLength>(sizeof last), sizeof last);
    std::memcpy(to, &first, sizeof first);
    std::memcpy(to + size - static_cast<TextLength>(sizeof last), &last, sizeof last);
}

// Moves text[from, to) down to `write` (below from). The runs between deletions are as often a
// few bytes long as a few thousand, and a memmove call costs more than most of them, and more
// instructions than this loop with the long ones. Moving down, a store only reaches bytes that
// are already read, so the blocks go front to back, four at a time; the last sixteen bytes are
// read before any store and stored last, over the end the whole blocks leave.
void MoveDown(std::uint8_t* text, TextLength write, TextLength from, TextLength to) {
    const TextLength size = to - from;
    if (size >= 16) {
#if defined(__SSE2__)
        const auto load = [text](TextLength at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        };
        const auto store = [text](TextLength at, __m128i bytes) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(text + at), bytes);
        };
        const __m128i last = load(to - 16);
        // Bound: from advances by 64 each round while 64 bytes remain.
        for (; to - from >= 64; from += 64, write += 64) {
            const __m128i a = load(from);
            const __m128i b = load(from + 16);
            const __m128i c = load(from + 32);
            const __m128i d = load(from + 48);
            store(write, a);
            store(write + 16, b);
            store(write + 32, c);
            store(write + 48, d);
        }
        // Bound: from advances by 16 each round while 16 bytes remain.
        for (; to - from >= 16; from += 16, write += 16) {
            store(write, load(from));
        }
        store(write + (to - from) - 16, last);
#else
        std::memmove(text + write, text + from, static_cast<std::size_t>(size));
#endif
    } else if (size >= 8) {
        MoveWords<std::uint64_t>(text + write, text + from, size);
    } else if (size >= 4) {
        MoveWords<std::uint32_t>(text + write, text + from, size);
    } else {
        // Bound: at most three bytes.
        for (TextLength k = 0; k < size; ++k) {
            text[write + k] = text[from + k];
        }
    }
}

}  // namespace

TextLength CompactDeleted(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // Most passes delete little, so the untouched prefix is found at memchr speed and left alone.
    TextLength write = FindByte(text, 0, length, 0);
    TextLength read = write;
    // Invariant: text[0, write) holds the kept bytes of text[0, read) in order, and write <= read.
    // Bytes from read on are as the pass left them: a run is moved to write only once found.
    while (read < length) {
        // A pass that deletes a run of blanks or a whole comment leaves runs of deleted bytes.
        read = SkipAnyOfThree(text, read, length, 0, 0, 0);
        const TextLength runEnd = FindByte(text, read, length, 0);
        assert(write < read || read == runEnd);
        MoveDown(text, write, read, runEnd);
        write += runEnd - read;
        read = runEnd;
    }
    return write;
}

}  // namespace quillon
