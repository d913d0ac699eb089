// Reading and composing the signature line of a file index, and the order of its checks.
#include "format/index_signature.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "format/file_list.h"

namespace tessaly {

namespace {

constexpr char LINE_PREFIX[] = "#signature";
constexpr std::size_t LINE_PREFIX_LENGTH = sizeof LINE_PREFIX - 1;
constexpr char PURPOSE_TAG[] = "tessaly-file-list-v1";

bool StartsWith(const unsigned char* text, std::size_t size, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(text, prefix, length) == 0;
}

// Consumes `field` from the front of the line.
bool Take(const unsigned char*& at, const unsigned char* end, const char* field) {
    if (!StartsWith(at, static_cast<std::size_t>(end - at), field)) {
        return false;
    }
    at += std::strlen(field);
    return true;
}

bool TakeHex(const unsigned char*& at, const unsigned char* end, unsigned char* bytes,
             std::size_t count) {
    if (static_cast<std::size_t>(end - at) < 2 * count ||
        !ReadHex(reinterpret_cast<const char*>(at), count, bytes)) {
        return false;
    }
    at += 2 * count;
    return true;
}

// Decimal without sign, blanks or leading zeros, and without overflow.
bool TakeSeconds(const unsigned char*& at, const unsigned char* end, std::uint64_t& value) {
    const unsigned char* start = at;
    value = 0;
    while (at < end && *at >= '0' && *at <= '9') {
        const unsigned digit = *at - '0';
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        ++at;
    }
    return at > start && !(*start == '0' && at - start > 1);
}

bool ReadSignatureFields(const unsigned char* at, const unsigned char* end,
                         IndexSignature& signature) {
    signature = IndexSignature{};
    if (!Take(at, end, "#signature v1 key=") ||
        static_cast<std::size_t>(end - at) < KEY_ID_LENGTH) {
        return false;
    }
    for (std::size_t i = 0; i < KEY_ID_LENGTH; ++i) {
        if (HexDigitValue(at[i]) < 0) {
            return false;
        }
        signature.keyId[i] = static_cast<char>(at[i]);
    }
    at += KEY_ID_LENGTH;
    return Take(at, end, " expires=") && TakeSeconds(at, end, signature.expires) &&
           Take(at, end, " sig=") && TakeHex(at, end, signature.signature, INDEX_SIGNATURE_SIZE) &&
           at == end;
}

// Whether a verified line by `key` still counts at `now`: the key's last day is judged first, then
// the line's own expiry.
SignatureVerdict LineValidity(const IndexKey& key, const IndexSignature& line, std::uint64_t now) {
    if (now >= key.refusedFrom) {
        return SignatureVerdict::KeyRetired;
    }
    return HasExpired(line, now) ? SignatureVerdict::Expired : SignatureVerdict::Good;
}

}  // namespace

const char* SignatureVerdictText(SignatureVerdict verdict) {
    switch (verdict) {
        case SignatureVerdict::Good:
            return "good";
        case SignatureVerdict::Missing:
            return "no signature line at the end of the index";
        case SignatureVerdict::Duplicate:
            return "a signature line before other lines";
        case SignatureVerdict::Malformed:
            return "signature line does not read as one";
        case SignatureVerdict::TooMany:
            return "more than 8 signature lines";
        case SignatureVerdict::WrongKey:
            return "signed with none of the installer's keys";
        case SignatureVerdict::BadSignature:
            return "signature does not verify";
        case SignatureVerdict::Expired:
            return "signature has expired";
        case SignatureVerdict::KeyRetired:
            return "the key's last day has passed";
    }
    return "unknown";
}

SignatureRun FindSignatureRun(const unsigned char* index, std::size_t size) {
    SignatureRun run{size, 0};
    // One line end may follow the last signature line: CR LF, LF or CR.
    std::size_t end = size;
    if (end >= 2 && index[end - 2] == '\r' && index[end - 1] == '\n') {
        end -= 2;
    } else if (end >= 1 && IsIndexLineEnd(index[end - 1])) {
        end -= 1;
    }
    for (;;) {
        std::size_t lineStart = end;
        while (lineStart > 0 && !IsIndexLineEnd(index[lineStart - 1])) {
            --lineStart;
        }
        if (!BeginsSignatureLine(index + lineStart, end - lineStart)) {
            return run;
        }
        run.start = lineStart;
        ++run.count;
        if (lineStart == 0) {
            return run;
        }
        // Exactly one line end between two signature lines: an empty line ends the run.
        end = lineStart - 1;
        if (index[end] == '\n' && end > 0 && index[end - 1] == '\r') {
            --end;
        }
    }
}

bool BeginsSignatureLine(const unsigned char* line, std::size_t length) {
    return StartsWith(line, length, LINE_PREFIX);
}

bool ReadSignatureLine(const unsigned char* line, std::size_t length, IndexSignature& signature) {
    return ReadSignatureFields(line, line + length, signature);
}

SignatureVerdict LocateIndexSignatures(const unsigned char* index, std::size_t size,
                                       SignatureLines& found) {
    found.count = 0;
    found.signedLength = 0;
    const SignatureRun run = FindSignatureRun(index, size);
    if (run.count == 0) {
        return SignatureVerdict::Missing;
    }
    if (run.count > MOST_SIGNATURE_LINES) {
        return SignatureVerdict::TooMany;
    }
    if (HasSignatureLine(index, run.start)) {
        return SignatureVerdict::Duplicate;
    }
    std::size_t at = run.start;
    for (std::size_t i = 0; i < run.count; ++i) {
        std::size_t end = at;
        while (end < size && !IsIndexLineEnd(index[end])) {
            ++end;
        }
        if (!ReadSignatureLine(index + at, end - at, found.lines[i])) {
            return SignatureVerdict::Malformed;
        }
        // Past the one line end, CR LF or a single CR or LF, that separates two lines of the run.
        at = end + (end + 1 < size && index[end] == '\r' && index[end + 1] == '\n' ? 2 : 1);
    }
    found.count = run.count;
    found.signedLength = run.start;
    return SignatureVerdict::Good;
}

bool ComposeSignedMessage(const char* keyId, std::uint64_t expires, const Sha256Digest& digest,
                          char (&message)[SIGNED_MESSAGE_CAPACITY]) {
    char digestHex[2 * SHA256_SIZE + 1];
    WriteHex(digest, SHA256_SIZE, digestHex);
    std::memset(message, 0, sizeof message);
    const int length =
        std::snprintf(message, sizeof message, "%s\nkey=%s\nexpires=%" PRIu64 "\nsha256=%s\n",
                      PURPOSE_TAG, keyId, expires, digestHex);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof message) {
        std::memset(message, 0, sizeof message);
        return false;
    }
    return true;
}

bool ComposeSignatureLine(const IndexSignature& signature, char (&line)[SIGNATURE_LINE_CAPACITY]) {
    char signatureHex[2 * INDEX_SIGNATURE_SIZE + 1];
    WriteHex(signature.signature, INDEX_SIGNATURE_SIZE, signatureHex);
    std::memset(line, 0, sizeof line);
    const int length = std::snprintf(line, sizeof line, "%s v1 key=%s expires=%" PRIu64 " sig=%s",
                                     LINE_PREFIX, signature.keyId, signature.expires, signatureHex);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof line) {
        std::memset(line, 0, sizeof line);
        return false;
    }
    return true;
}

SignatureVerdict CheckIndexSignature(const unsigned char* index, std::size_t size,
                                     const IndexKey* keys, std::size_t keyCount, std::uint64_t now,
                                     const SignatureCrypto& crypto, std::size_t& signedLength,
                                     SignatureFindings* findings) {
    SignatureFindings found;
    const SignatureVerdict located = LocateIndexSignatures(index, size, found.lines);
    if (located != SignatureVerdict::Good) {
        found.decidingLine = 0;
        if (findings != nullptr) {
            *findings = found;
        }
        return located;
    }
    const SignatureLines& lines = found.lines;
    // The position in `keys` of the key each line names; keyCount when it names none held.
    std::size_t held[MOST_SIGNATURE_LINES];
    bool anyHeld = false;
    for (std::size_t i = 0; i < lines.count; ++i) {
        held[i] = keyCount;
        for (std::size_t k = 0; k < keyCount && held[i] == keyCount; ++k) {
            if (std::strcmp(lines.lines[i].keyId, keys[k].keyId) == 0) {
                held[i] = k;
                anyHeld = true;
            }
        }
    }
    SignatureVerdict verdict = SignatureVerdict::WrongKey;
    found.decidingLine = lines.count;
    Sha256Digest digest;
    if (anyHeld && !crypto.sha256(index, lines.signedLength, digest)) {
        verdict = SignatureVerdict::BadSignature;
    }
    // Every line by a held key verifies, or the index was changed: one forged line refuses it.
    for (std::size_t i = 0; i < lines.count && verdict == SignatureVerdict::WrongKey; ++i) {
        char message[SIGNED_MESSAGE_CAPACITY];
        if (held[i] != keyCount &&
            (!ComposeSignedMessage(lines.lines[i].keyId, lines.lines[i].expires, digest, message) ||
             !crypto.verify(held[i], message, std::strlen(message), lines.lines[i].signature))) {
            verdict = SignatureVerdict::BadSignature;
            found.decidingLine = i;
        }
    }
    // Validity is judged after the signatures, so that an expired index is told apart from a
    // forged one. The first line that is still valid is taken.
    for (std::size_t i = 0; i < lines.count && verdict != SignatureVerdict::BadSignature; ++i) {
        if (held[i] == keyCount) {
            continue;
        }
        const SignatureVerdict line = LineValidity(keys[held[i]], lines.lines[i], now);
        if (line == SignatureVerdict::Good || verdict == SignatureVerdict::WrongKey) {
            verdict = line;
            found.decidingLine = i;
        }
        if (line == SignatureVerdict::Good) {
            break;
        }
    }
    if (verdict == SignatureVerdict::Good) {
        signedLength = lines.signedLength;
    }
    if (findings != nullptr) {
        *findings = found;
    }
    return verdict;
}

bool HasSignatureLine(const unsigned char* index, std::size_t size) {
    for (std::size_t at = 0; at < size; ++at) {
        const bool startsLine = at == 0 || IsIndexLineEnd(index[at - 1]);
        if (startsLine && BeginsSignatureLine(index + at, size - at)) {
            return true;
        }
    }
    return false;
}

}  // namespace tessaly
