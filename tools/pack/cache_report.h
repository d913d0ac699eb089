// How a CDN in front of a package server will cache it, judged from the headers the server sends:
// the index must never be kept for long, content-addressed objects should be kept as long as
// possible, and a redirect to https:// is one that WinINet may refuse to follow.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessaly::pack {

// The longest time, in seconds, that a cache may keep FileList.txt without a warning.
constexpr std::int64_t INDEX_CACHE_LIMIT = 300;
// The shortest time, in seconds, that an object must be cacheable for to count as long-cacheable.
constexpr std::int64_t OBJECT_CACHE_MINIMUM = 86400;

// How long a shared cache may keep an answer with these headers (names in lower case), in seconds:
// 0 when it must not or must revalidate first (no-store, no-cache, private, max-age=0), the
// s-maxage or else the max-age of Cache-Control, or else Expires less Date. -1 when the headers
// say nothing, which leaves it to the cache's own default.
std::int64_t SharedCacheLifetime(const std::map<std::string, std::string>& headers);

// A warning when a cache may keep the index longer than INDEX_CACHE_LIMIT; empty otherwise.
std::string JudgeIndexCaching(const std::map<std::string, std::string>& headers);

// A warning when an object cannot be cached for OBJECT_CACHE_MINIMUM; empty otherwise.
std::string JudgeObjectCaching(const std::map<std::string, std::string>& headers);

// Fetches the index at `base` (the package base, ending in "/") and the first object it names
// without following redirects, and returns one warning line each for: a redirect from http:// to
// https://, an index a CDN may cache for more than 5 minutes, objects that are not long-cacheable.
std::vector<std::string> CachingWarnings(const std::string& base);

}  // namespace tessaly::pack
