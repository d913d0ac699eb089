// The growable byte array that holds one response body.
#pragma once

#include <vector>

namespace tessaly {

using ByteBuffer = std::vector<unsigned char>;

}  // namespace tessaly
