// The installer's only network operation: one HTTP GET from the package server.
#pragma once

#include "format/byte_buffer.h"

namespace tessaly {

// Downloads `relativePath` (relative to the package base URL) into `buffer`, which the caller
// passes empty. True when a complete, non-empty body arrived with a 2xx status; otherwise false
// with `buffer` empty. Never throws.
bool FetchUrl(const char* relativePath, ByteBuffer& buffer);

}  // namespace tessaly
