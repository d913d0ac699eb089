// The platform's side of an installer built with a key (signature_check_win.cpp): SHA-256 and the
// ECDSA P-256 check of an index's signature through Windows' CNG, with the key built into the
// program and the machine's clock.
#pragma once

#include <cstddef>

#include "format/byte_buffer.h"
#include "package/install_context_win.h"
#include "package/signed_file_list.h"

namespace tessaly {

// The SHA-256 of `size` bytes, read in place. False when CNG fails.
bool Sha256(const unsigned char* data, std::size_t size, Sha256Digest& digest);

// The SHA-256 of the file at `filePath` (under a folder of `context`), read in pieces. False when
// it cannot be opened or read.
bool Sha256OfFile(const char* filePath, const InstallContext& context, Sha256Digest& digest);

// True when the SHA-256 of `body` is `named`, the digest its server path names.
bool BodyMatchesName(const ByteBuffer& body, const Sha256Digest& named);

// The built-in keys, the machine's clock and CNG.
IndexTrust BuiltInIndexTrust();

}  // namespace tessaly
