// Reading the digest a content-addressed server path ends in.
#include "format/content_address.h"

#include <cstring>

namespace tessaly {

bool ContentAddressDigest(const char* path, Sha256Digest& digest) {
    const std::size_t length = std::strlen(path);
    if (length < SHA256_HEX_LENGTH) {
        return false;
    }
    const char* hex = path + length - SHA256_HEX_LENGTH;
    if (length > SHA256_HEX_LENGTH && HexDigitValue(static_cast<unsigned char>(hex[-1])) >= 0) {
        return false;  // 65 or more hex digits: which 64 of them name the content is unclear
    }
    return ReadHex(hex, SHA256_SIZE, digest);
}

}  // namespace tessaly
