// The publisher's signatures on a file index. They travel inside the index as its last lines, so
// the index and its signatures are always replaced together, and an installer built without a key
// skips them like every line that does not begin with a kind digit:
//
//     0|objects/3f7a…c1|Tessaly.exe
//     2|Tessaly.exe|Tessaly
//     #signature v1 key=4be3f2a10c9d7e56 expires=1767225600 sig=<128 hex digits>
//     #signature v1 key=91c07d2e5a3b8f40 expires=1798761600 sig=<128 hex digits>
//
// `key` is the first 16 hex digits of the SHA-256 of the public key (its DER SubjectPublicKeyInfo),
// `expires` the end of validity in UTC seconds since 1970, `sig` the ECDSA P-256 signature r‖s,
// each half 32 bytes big-endian, in lower-case hex. Each line signs the message
//
//     tessaly-file-list-v1\nkey=<key>\nexpires=<expires>\nsha256=<hex SHA-256 of the signed text>\n
//
// where the signed text is every byte of the index before the first signature line (its own line
// end included), the same for every line. At most MOST_SIGNATURE_LINES lines, one after the other
// with one line end between two; only one line end may follow the last, and no earlier line may
// begin with "#signature". Everything here is pure text handling; hashing and signature checks are
// passed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "format/index_keys.h"

namespace tessaly {

constexpr std::size_t INDEX_SIGNATURE_SIZE = 64;  // r‖s
constexpr std::size_t SIGNED_MESSAGE_CAPACITY = 160;
constexpr std::size_t SIGNATURE_LINE_CAPACITY = 256;

struct IndexSignature {
    char keyId[KEY_ID_LENGTH + 1];
    std::uint64_t expires;  // UTC seconds since 1970; the index is refused from then on
    unsigned char signature[INDEX_SIGNATURE_SIZE];
};

constexpr std::size_t MOST_SIGNATURE_LINES = 8;

enum class SignatureVerdict {
    Good,
    Missing,       // the last line is no signature line (or the index is empty)
    Duplicate,     // a line before the signature lines also begins with "#signature"
    Malformed,     // a signature line begins like one but does not read as one
    TooMany,       // more than MOST_SIGNATURE_LINES signature lines
    WrongKey,      // no line is signed with a key the installer holds
    BadSignature,  // a line by a key the installer holds does not verify over this index
    Expired,       // genuine, but its validity has ended
    KeyRetired,    // genuine, but the key's last day has passed
};

// A short English name of the verdict, for reports.
const char* SignatureVerdictText(SignatureVerdict verdict);

// The signature lines at the end of an index, in their order there.
struct SignatureLines {
    IndexSignature lines[MOST_SIGNATURE_LINES];
    std::size_t count;
    std::size_t signedLength;  // the bytes before the first signature line
};

// The run of lines beginning with "#signature" that ends `index` (one line end may follow it),
// however many there are and whether or not they read as signature lines.
struct SignatureRun {
    std::size_t start;  // its first byte, which ends the signed text; `size` when there is none
    std::size_t count;  // its lines
};
SignatureRun FindSignatureRun(const unsigned char* index, std::size_t size);

// True when the line of `length` bytes begins like a signature line, with "#signature".
bool BeginsSignatureLine(const unsigned char* line, std::size_t length);

// Reads the line of `length` bytes (without its line end) as a signature line; false when it does
// not read as one.
bool ReadSignatureLine(const unsigned char* line, std::size_t length, IndexSignature& signature);

// Finds the signature lines at the end of `index` and reads them; `found` is complete on Good.
SignatureVerdict LocateIndexSignatures(const unsigned char* index, std::size_t size,
                                       SignatureLines& found);

// The text that is signed (see the top of this file), without a terminator in its length.
bool ComposeSignedMessage(const char* keyId, std::uint64_t expires, const Sha256Digest& digest,
                          char (&message)[SIGNED_MESSAGE_CAPACITY]);

// A signature line, without its line end.
bool ComposeSignatureLine(const IndexSignature& signature, char (&line)[SIGNATURE_LINE_CAPACITY]);

// True when a line's validity has ended at `now` (UTC seconds): from its `expires` on.
inline bool HasExpired(const IndexSignature& line, std::uint64_t now) {
    return now >= line.expires;
}

// True when a line of `index` (at its start or after a CR or LF) begins with "#signature": the
// index is meant for installers built with a key, whether or not its signature lines are in order.
bool HasSignatureLine(const unsigned char* index, std::size_t size);

// The cryptography the check needs: SHA-256 of some bytes, and the ECDSA P-256 verification of a
// signature over a message (which hashes the message with SHA-256 itself) with the held key at
// position `key` of the list.
struct SignatureCrypto {
    std::function<bool(const unsigned char* data, std::size_t size, Sha256Digest& digest)> sha256;
    std::function<bool(std::size_t key, const char* message, std::size_t size,
                       const unsigned char (&signature)[INDEX_SIGNATURE_SIZE])>
        verify;
};

// What CheckIndexSignature found beyond its verdict.
struct SignatureFindings {
    SignatureLines lines;  // read when the verdict is not Missing, Duplicate, Malformed or TooMany
    std::size_t decidingLine;  // the line accepted, or the held line refused; lines.count if none
};

// The whole judgement of a signed index under the `keyCount` keys held: the lines are found and
// read; every line by a held key must verify over the signed text (lines by other keys are passed
// over); and the index is good when one of them is unexpired at `now` (UTC seconds) and its key's
// last day has not passed. Otherwise the verdict is that of the first line by a held key, or
// WrongKey when there is none. On Good, `signedLength` is the length of the signed text.
SignatureVerdict CheckIndexSignature(const unsigned char* index, std::size_t size,
                                     const IndexKey* keys, std::size_t keyCount, std::uint64_t now,
                                     const SignatureCrypto& crypto, std::size_t& signedLength,
                                     SignatureFindings* findings = nullptr);

}  // namespace tessaly
