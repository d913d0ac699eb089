// Where the package server is, and how a relative path becomes a request URL.
#pragma once

#include <cstddef>

namespace tessaly {

constexpr std::size_t URL_CAPACITY = 512;

// "http://" + the host chosen at build time + "/AppData/".
extern const char PackageBaseUrl[];

// Writes `baseUrl` followed by `relativePath` into the zero-filled `url`, after skipping every
// leading slash and backslash of the relative path (in any mix and number); inner separators and
// every other byte are kept as they are, without percent-encoding. Refuses (false, `url` all zeros)
// a URL that would not fit with its terminator.
bool ComposePackageUrl(const char* baseUrl, const char* relativePath, char (&url)[URL_CAPACITY]);

}  // namespace tessaly
