// Bounded composition of the fixed-size, NUL-terminated ANSI texts that the installer keeps its
// paths, status lines and notices in. Every text is built by zero-filling its buffer and then
// copying its parts one after another; a result that would not fit is refused as a whole, so a
// buffer never holds a cut-off path and nothing is written past its end.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace tessaly {

// Total length of the parts, without a terminator.
inline std::size_t JoinedLength(std::initializer_list<const char*> parts) {
    std::size_t total = 0;
    for (const char* part : parts) {
        total += std::strlen(part);
    }
    return total;
}

// True when the parts and one terminator fit into a buffer of `capacity` bytes.
inline bool JoinedFits(std::size_t capacity, std::initializer_list<const char*> parts) {
    return JoinedLength(parts) < capacity;
}

// Zero-fills `out` and writes the parts into it one after another. When they do not fit with their
// terminator, `out` stays all zeros and the result is false.
template <std::size_t N>
bool ComposeText(char (&out)[N], std::initializer_list<const char*> parts) {
    std::memset(out, 0, N);
    if (!JoinedFits(N, parts)) {
        return false;
    }
    std::size_t used = 0;
    for (const char* part : parts) {
        const std::size_t length = std::strlen(part);
        std::memcpy(out + used, part, length);
        used += length;
    }
    return true;
}

// Appends `suffix` to the text already in `text`; refuses (and leaves `text` unchanged) when the
// result would not fit.
template <std::size_t N>
bool AppendText(char (&text)[N], const char* suffix) {
    const std::size_t used = strnlen(text, N);
    const std::size_t length = std::strlen(suffix);
    if (used + length >= N) {
        return false;
    }
    std::memcpy(text + used, suffix, length + 1);
    return true;
}

}  // namespace tessaly
