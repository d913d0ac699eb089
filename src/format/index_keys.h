// The publisher's keys as the package format names them: ECDSA P-256 public keys, each known by a
// key id, at most MOST_INDEX_KEYS of them in one installer, each with an optional last day.
// cmake/index-public-key.cmake reads MOST_INDEX_KEYS and P256_SPKI_PREFIX_HEX from this file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/hex.h"

namespace tessaly {

constexpr std::size_t MOST_INDEX_KEYS = 8;  // the keys one installer can be built with
constexpr std::size_t KEY_ID_LENGTH = 16;   // hex digits

// A P-256 public key as DER SubjectPublicKeyInfo is always 91 bytes: this fixed prefix naming the
// algorithm and the curve, ending in the 04 of an uncompressed point, then X and Y.
constexpr char P256_SPKI_PREFIX_HEX[] = "3059301306072a8648ce3d020106082a8648ce3d03010703420004";
constexpr std::size_t P256_SPKI_SIZE = 91;

// True when `der` is the SubjectPublicKeyInfo of a P-256 public key.
bool IsP256PublicKeyInfo(const unsigned char* der, std::size_t size);

// The key id: the first KEY_ID_LENGTH hex digits of the SHA-256 of the SubjectPublicKeyInfo.
void WriteKeyId(const Sha256Digest& spkiDigest, char (&keyId)[KEY_ID_LENGTH + 1]);

// A key an installer holds: its id, and the moment from which its signatures are refused (the
// start, 00:00 UTC, of the day after its last day), NO_LAST_DAY when it has none.
constexpr std::uint64_t NO_LAST_DAY = UINT64_MAX;
struct IndexKey {
    const char* keyId;
    std::uint64_t refusedFrom;  // UTC seconds since 1970
};

constexpr std::uint64_t SECONDS_PER_DAY = 86400;

// Reads a UTC date written YYYY-MM-DD (years 1970 to 9999, a day the month has) into the second
// it starts at, 00:00 UTC; false for anything else. A key's last day and the end of a signature's
// validity are written so.
bool ReadUtcDate(const char* text, std::uint64_t& dayStart);

}  // namespace tessaly
