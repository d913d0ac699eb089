// The growable byte array that holds one response body.
#pragma once

#include <cstddef>
#include <vector>

namespace tessaly {

using ByteBuffer = std::vector<unsigned char>;

// The zero bytes that the file index parser appends to a body to close its text. A fetch that
// knows the body's length reserves this much more, so that closing the text never regrows a
// buffer sized exactly to the body.
constexpr std::size_t BODY_TAIL_BYTES = 6;

}  // namespace tessaly
