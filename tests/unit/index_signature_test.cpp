#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/index_signature.h"

namespace tessaly {
namespace {

const std::string SIG(128, 'a');
const std::string LINE = "#signature v1 key=0123456789abcdef expires=1767225600 sig=" + SIG;

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

TEST(LocateIndexSignature, FindsOnlyAWellFormedLastLine) {
    const std::string body = "1|bin|\r\n0|objects/x|bin\\a.exe\r\n";
    struct Case {
        std::string index;
        SignatureVerdict verdict;
        std::size_t signedLength;
    } cases[] = {
        {body + LINE + "\r\n", SignatureVerdict::Good, body.size()},
        {body + LINE + "\n", SignatureVerdict::Good, body.size()},
        {body + LINE + "\r", SignatureVerdict::Good, body.size()},
        {body + LINE, SignatureVerdict::Good, body.size()},
        {LINE, SignatureVerdict::Good, 0},
        {"", SignatureVerdict::Missing, 0},
        {body, SignatureVerdict::Missing, 0},
        {body + LINE + "\r\n\r\n", SignatureVerdict::Missing, 0},   // an empty line after it
        {body + LINE + "\n0|x|y\n", SignatureVerdict::Missing, 0},  // not the last line
        {LINE + "\n" + body + LINE + "\n", SignatureVerdict::Duplicate, 0},
        {body + "#signature old\n" + LINE, SignatureVerdict::Duplicate, 0},
        {body + " " + LINE, SignatureVerdict::Missing, 0},
        {body + LINE + " ", SignatureVerdict::Malformed, 0},
        {body + LINE + std::string(1, '\0'), SignatureVerdict::Malformed, 0},
        {body + "#signature v2 key=0123456789abcdef expires=1 sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789ABCDEF expires=1 sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcde expires=1 sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcdef expires=01 sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcdef expires= sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcdef expires=18446744073709551616 sig=" + SIG,
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcdef expires=1 sig=" + SIG.substr(2),
         SignatureVerdict::Malformed, 0},
        {body + "#signature v1 key=0123456789abcdef expires=1 sig=" + SIG + "aa",
         SignatureVerdict::Malformed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        std::size_t signedLength = 0xdeadbeef;
        IndexSignature signature;
        EXPECT_EQ(LocateIndexSignature(Bytes(c.index), c.index.size(), signedLength, signature),
                  c.verdict);
        if (c.verdict == SignatureVerdict::Good) {
            EXPECT_EQ(signedLength, c.signedLength);
            EXPECT_STREQ(signature.keyId, "0123456789abcdef");
            EXPECT_EQ(signature.expires, 1767225600u);
            EXPECT_EQ(signature.signature[0], 0xaa);
            EXPECT_EQ(signature.signature[63], 0xaa);
        }
    }
}

TEST(ComposeSignatureLine, ReadsBackAsWritten) {
    IndexSignature signature{"fedcba9876543210", 18446744073709551615ull, {}};
    for (std::size_t i = 0; i < INDEX_SIGNATURE_SIZE; ++i) {
        signature.signature[i] = static_cast<unsigned char>(i * 5);
    }
    char line[SIGNATURE_LINE_CAPACITY];
    ASSERT_TRUE(ComposeSignatureLine(signature, line));
    std::size_t signedLength = 1;
    IndexSignature read;
    ASSERT_EQ(LocateIndexSignature(reinterpret_cast<unsigned char*>(line), std::strlen(line),
                                   signedLength, read),
              SignatureVerdict::Good);
    EXPECT_EQ(signedLength, 0u);
    EXPECT_STREQ(read.keyId, signature.keyId);
    EXPECT_EQ(read.expires, signature.expires);
    EXPECT_EQ(0, std::memcmp(read.signature, signature.signature, INDEX_SIGNATURE_SIZE));
}

// Stand-in cryptography: the "digest" is the signed text's length and first byte, and a
// signature verifies when its first byte is 0xaa; both remember what they were given.
struct RecordingCrypto {
    std::string hashed;
    std::string message;
    SignatureCrypto Functions() {
        return {[this](const unsigned char* data, std::size_t size, Sha256Digest& digest) {
                    hashed.assign(reinterpret_cast<const char*>(data), size);
                    std::memset(digest, 0, sizeof digest);
                    digest[0] = static_cast<unsigned char>(size);
                    digest[31] = size > 0 ? data[0] : 0;
                    return true;
                },
                [this](const char* text, std::size_t size,
                       const unsigned char(&signature)[INDEX_SIGNATURE_SIZE]) {
                    message.assign(text, size);
                    return signature[0] == 0xaa;
                }};
    }
};

TEST(CheckIndexSignature, BindsTheSignedTextTheKeyAndTheExpiry) {
    const std::string body = "0|a|b\n";
    const std::string good = body + LINE + "\n";
    const std::string forged = body +
                               "#signature v1 key=0123456789abcdef expires=1767225600 sig=" + "bb" +
                               std::string(126, 'a');
    struct Case {
        std::string index;
        const char* trustedKey;
        std::uint64_t now;
        SignatureVerdict verdict;
    } cases[] = {
        {good, "0123456789abcdef", 1767225599, SignatureVerdict::Good},
        {good, "0123456789abcdef", 1767225600, SignatureVerdict::Expired},
        {good, "0123456789abcdee", 0, SignatureVerdict::WrongKey},
        {forged, "0123456789abcdef", 0, SignatureVerdict::BadSignature},
        {body, "0123456789abcdef", 0, SignatureVerdict::Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        RecordingCrypto crypto;
        std::size_t signedLength = 0xdeadbeef;
        EXPECT_EQ(CheckIndexSignature(Bytes(c.index), c.index.size(), c.trustedKey, c.now,
                                      crypto.Functions(), signedLength),
                  c.verdict);
        EXPECT_EQ(signedLength, c.verdict == SignatureVerdict::Good ? body.size() : 0xdeadbeef);
    }
    RecordingCrypto crypto;
    std::size_t signedLength = 0;
    CheckIndexSignature(Bytes(good), good.size(), "0123456789abcdef", 0, crypto.Functions(),
                        signedLength);
    EXPECT_EQ(crypto.hashed, body);
    EXPECT_EQ(crypto.message,
              "tessaly-file-list-v1\nkey=0123456789abcdef\nexpires=1767225600\nsha256=06" +
                  std::string(60, '0') + "30\n");
}

TEST(ContentAddressDigest, TakesTheLast64LowerCaseHexDigits) {
    const std::string hex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    struct Case {
        std::string path;
        bool ok;
    } cases[] = {
        {"objects/" + hex, true},
        {hex, true},
        {"a\\b-" + hex, true},
        {"objects/0" + hex, false},
        {"objects/" + hex.substr(1), false},
        {"objects/" + hex + ".exe", false},
        {"objects/00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Sha256Digest digest = {};
        EXPECT_EQ(ContentAddressDigest(c.path.c_str(), digest), c.ok);
        if (c.ok) {
            EXPECT_EQ(digest[0], 0x00);
            EXPECT_EQ(digest[5], 0x55);
            EXPECT_EQ(digest[31], 0xff);
        }
    }
}

}  // namespace
}  // namespace tessaly
