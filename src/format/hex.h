// Lower-case hexadecimal, the one spelling the package format writes bytes in: SHA-256 digests in
// content addresses and in the signed message, key ids, and signatures.
#pragma once

#include <cstddef>
#include <string>

namespace tessaly {

constexpr std::size_t SHA256_SIZE = 32;
constexpr std::size_t SHA256_HEX_LENGTH = 2 * SHA256_SIZE;

using Sha256Digest = unsigned char[SHA256_SIZE];

// The value of one lower-case hex digit; -1 for any other byte, upper-case digits included.
int HexDigitValue(unsigned char byte);

// Lower-case hex of `size` bytes into `out` (2 * size characters and a terminator).
void WriteHex(const unsigned char* bytes, std::size_t size, char* out);

// The same, as a string.
std::string HexText(const unsigned char* bytes, std::size_t size);

// Reads `count` bytes from 2 * count lower-case hex digits at `hex`; false when a digit is not one.
bool ReadHex(const char* hex, std::size_t count, unsigned char* bytes);

}  // namespace tessaly
