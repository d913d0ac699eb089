// The publisher's signature on a file index. It travels inside the index as its last line, so the
// index and its signature are always replaced together, and an installer built without a key skips
// the line like every line that does not begin with a kind digit:
//
//     0|objects/3f7a…c1|Tessaly.exe
//     2|Tessaly.exe|Tessaly
//     #signature v1 key=4be3f2a10c9d7e56 expires=1767225600 sig=<128 hex digits>
//
// `key` is the first 16 hex digits of the SHA-256 of the public key (its DER SubjectPublicKeyInfo),
// `expires` the end of validity in UTC seconds since 1970, `sig` the ECDSA P-256 signature r‖s,
// each half 32 bytes big-endian, in lower-case hex. The signature covers the message
//
//     tessaly-file-list-v1\nkey=<key>\nexpires=<expires>\nsha256=<hex SHA-256 of the signed text>\n
//
// where the signed text is every byte of the index before the signature line (its own line end
// included). Only one line end may follow the signature line; no other line may begin with
// "#signature". Everything here is pure text handling; hashing and signature checks are passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tessaly {

constexpr std::size_t SHA256_SIZE = 32;
constexpr std::size_t KEY_ID_LENGTH = 16;         // hex digits
constexpr std::size_t INDEX_SIGNATURE_SIZE = 64;  // r‖s
constexpr std::size_t SIGNED_MESSAGE_CAPACITY = 160;
constexpr std::size_t SIGNATURE_LINE_CAPACITY = 256;

using Sha256Digest = unsigned char[SHA256_SIZE];

struct IndexSignature {
    char keyId[KEY_ID_LENGTH + 1];
    std::uint64_t expires;  // UTC seconds since 1970; the index is refused from then on
    unsigned char signature[INDEX_SIGNATURE_SIZE];
};

enum class SignatureVerdict {
    Good,
    Missing,       // the last line is no signature line (or the index is empty)
    Duplicate,     // a line before the last also begins with "#signature"
    Malformed,     // the last line begins like a signature line but does not read as one
    WrongKey,      // signed with a key other than the one the installer trusts
    BadSignature,  // the signature does not verify over this index
    Expired,       // genuine, but its validity has ended
};

// A short English name of the verdict, for reports.
const char* SignatureVerdictText(SignatureVerdict verdict);

// Finds the signature line at the end of `index` and reads it. On Good, `signedLength` is the
// number of bytes before the line.
SignatureVerdict LocateIndexSignature(const unsigned char* index, std::size_t size,
                                      std::size_t& signedLength, IndexSignature& signature);

// The text that is signed (see the top of this file), without a terminator in its length.
bool ComposeSignedMessage(const char* keyId, std::uint64_t expires, const Sha256Digest& digest,
                          char (&message)[SIGNED_MESSAGE_CAPACITY]);

// The signature line, without its line end.
bool ComposeSignatureLine(const IndexSignature& signature, char (&line)[SIGNATURE_LINE_CAPACITY]);

// The cryptography the check needs: SHA-256 of some bytes, and the ECDSA P-256 verification of a
// signature over a message (which hashes the message with SHA-256 itself).
struct SignatureCrypto {
    std::function<bool(const unsigned char* data, std::size_t size, Sha256Digest& digest)> sha256;
    std::function<bool(const char* message, std::size_t size,
                       const unsigned char (&signature)[INDEX_SIGNATURE_SIZE])>
        verify;
};

// The whole judgement of a signed index: the line is found and read, names `trustedKeyId`, verifies
// over the index, and has not expired at `now` (UTC seconds). On Good, `signedLength` is the length
// of the signed text. When the line could be read (any verdict but Missing, Duplicate and
// Malformed) and `signature` is given, it receives the line.
SignatureVerdict CheckIndexSignature(const unsigned char* index, std::size_t size,
                                     const char* trustedKeyId, std::uint64_t now,
                                     const SignatureCrypto& crypto, std::size_t& signedLength,
                                     IndexSignature* signature = nullptr);

// Lower-case hex of `size` bytes into `out` (2 * size characters and a terminator).
void WriteHex(const unsigned char* bytes, std::size_t size, char* out);

// A content-addressed server path ends in the lower-case hex SHA-256 of the file it names, not
// preceded by another hex digit ("objects/3f7a…c1"). True, with `digest` set, for such a path.
bool ContentAddressDigest(const char* path, Sha256Digest& digest);

}  // namespace tessaly
