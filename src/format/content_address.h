// Content addresses: a server path that names a file by the SHA-256 of its content
// ("objects/3f7a…c1"), so that a path never changes meaning between releases and an installer
// built with a key can check every body it downloads.
#pragma once

#include "format/hex.h"

namespace tessaly {

// True, with `digest` set, when `path` ends in the lower-case hex SHA-256 of the file it names,
// not preceded by another hex digit.
bool ContentAddressDigest(const char* path, Sha256Digest& digest);

}  // namespace tessaly
