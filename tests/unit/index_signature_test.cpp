// Finding, composing and checking an index's signature lines, and the content address's digest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/content_address.h"
#include "format/index_signature.h"

namespace tessaly {
namespace {

const std::string SIG(128, 'a');
const std::string LINE = "#signature v1 key=0123456789abcdef expires=1767225600 sig=" + SIG;

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// A well-formed line by `key` (16 hex digits) whose signature bytes are all `sigByte`.
std::string Line(const std::string& key, std::uint64_t expires = 1767225600,
                 const std::string& sigByte = "aa") {
    std::string sig;
    for (int i = 0; i < 64; ++i) {
        sig += sigByte;
    }
    return "#signature v1 key=" + key + " expires=" + std::to_string(expires) + " sig=" + sig;
}

TEST(LocateIndexSignatures, FindsOnlyWellFormedLastLines) {
    const std::string body = "1|bin|\r\n0|objects/x|bin\\a.exe\r\n";
    const std::string second = Line("fedcba9876543210");
    std::string eight;
    for (int i = 0; i < 8; ++i) {
        eight += LINE + "\n";
    }
    struct Case {
        std::string index;
        SignatureVerdict verdict;
        std::size_t signedLength;
        std::size_t count;
    };
    std::vector<Case> cases = {
        {body + LINE + "\r\n", SignatureVerdict::Good, body.size(), 1},
        {body + LINE + "\n", SignatureVerdict::Good, body.size(), 1},
        {body + LINE + "\r", SignatureVerdict::Good, body.size(), 1},
        {body + LINE, SignatureVerdict::Good, body.size(), 1},
        {LINE, SignatureVerdict::Good, 0, 1},
        {body + LINE + "\r\n" + second + "\r\n", SignatureVerdict::Good, body.size(), 2},
        {body + LINE + "\r" + second + "\n" + LINE, SignatureVerdict::Good, body.size(), 3},
        {body + eight, SignatureVerdict::Good, body.size(), 8},
        {body + eight + LINE, SignatureVerdict::TooMany, 0, 0},
        {"", SignatureVerdict::Missing, 0, 0},
        {body, SignatureVerdict::Missing, 0, 0},
        {body + LINE + "\r\n\r\n", SignatureVerdict::Missing, 0, 0},   // an empty line after it
        {body + LINE + "\n0|x|y\n", SignatureVerdict::Missing, 0, 0},  // not the last line
        {LINE + "\n" + body + LINE + "\n", SignatureVerdict::Duplicate, 0, 0},
        {body + LINE + "\n\n" + second, SignatureVerdict::Duplicate, 0,
         0},  // an empty line between
        {body + "#signature old\n" + LINE, SignatureVerdict::Malformed, 0, 0},
        {body + LINE + "\n#signature old", SignatureVerdict::Malformed, 0, 0},
        {body + " " + LINE, SignatureVerdict::Missing, 0, 0},
        {body + LINE + " ", SignatureVerdict::Malformed, 0, 0},
        {body + LINE + std::string(1, '\0'), SignatureVerdict::Malformed, 0, 0},
    };
    // Lines that begin as a signature line but do not read as one, a field at a time.
    const std::string start = "#signature v1 key=0123456789abcdef expires=";
    for (const std::string& line :
         {"#signature v2 key=0123456789abcdef expires=1 sig=" + SIG,
          "#signature v1 key=0123456789ABCDEF expires=1 sig=" + SIG,
          "#signature v1 key=0123456789abcde expires=1 sig=" + SIG, start + "01 sig=" + SIG,
          start + " sig=" + SIG, start + "18446744073709551616 sig=" + SIG,
          start + "1 sig=" + SIG.substr(2), start + "1 sig=" + SIG + "aa"}) {
        cases.push_back({body + line, SignatureVerdict::Malformed, 0, 0});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        SignatureLines found;
        found.signedLength = 0xdeadbeef;
        EXPECT_EQ(LocateIndexSignatures(Bytes(c.index), c.index.size(), found), c.verdict);
        EXPECT_EQ(found.count, c.count);
        if (c.verdict == SignatureVerdict::Good) {
            EXPECT_EQ(found.signedLength, c.signedLength);
            EXPECT_STREQ(found.lines[0].keyId, "0123456789abcdef");
            EXPECT_EQ(found.lines[0].expires, 1767225600u);
            EXPECT_EQ(found.lines[0].signature[0], 0xaa);
            EXPECT_EQ(found.lines[c.count - 1].signature[63], 0xaa);
        }
        if (c.count == 2 || c.count == 3) {
            EXPECT_STREQ(found.lines[1].keyId, "fedcba9876543210");  // in the index's order
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
    SignatureLines found;
    ASSERT_EQ(
        LocateIndexSignatures(reinterpret_cast<unsigned char*>(line), std::strlen(line), found),
        SignatureVerdict::Good);
    EXPECT_EQ(found.signedLength, 0u);
    EXPECT_STREQ(found.lines[0].keyId, signature.keyId);
    EXPECT_EQ(found.lines[0].expires, signature.expires);
    EXPECT_EQ(0, std::memcmp(found.lines[0].signature, signature.signature, INDEX_SIGNATURE_SIZE));
}

// Stand-in cryptography: the "digest" is the signed text's length and first byte, and a
// signature verifies when its first byte is 0xaa; both remember what they were given.
struct RecordingCrypto {
    std::string hashed;
    std::vector<std::string> messages;
    std::vector<std::size_t> keys;
    SignatureCrypto Functions() {
        return {[this](const unsigned char* data, std::size_t size, Sha256Digest& digest) {
                    hashed.assign(reinterpret_cast<const char*>(data), size);
                    std::memset(digest, 0, sizeof digest);
                    digest[0] = static_cast<unsigned char>(size);
                    digest[31] = size > 0 ? data[0] : 0;
                    return true;
                },
                [this](std::size_t key, const char* text, std::size_t size,
                       const unsigned char(&signature)[INDEX_SIGNATURE_SIZE]) {
                    keys.push_back(key);
                    messages.emplace_back(text, size);
                    return signature[0] == 0xaa;
                }};
    }
};

TEST(CheckIndexSignature, TakesOneGoodLineByAHeldKey) {
    const std::string body = "0|a|b\n";
    const std::string oldKey = "0123456789abcdef";
    const std::string newKey = "fedcba9876543210";
    const std::string otherKey = "1111222233334444";
    const std::string oldLine = Line(oldKey) + "\n";  // expires 1767225600
    const std::string newLine = Line(newKey, 1800000000) + "\n";
    const std::string forgedNew = Line(newKey, 1800000000, "bb") + "\n";
    const IndexKey both[] = {{oldKey.c_str(), NO_LAST_DAY}, {newKey.c_str(), NO_LAST_DAY}};
    const IndexKey onlyOld[] = {{oldKey.c_str(), NO_LAST_DAY}};
    const IndexKey onlyNew[] = {{newKey.c_str(), NO_LAST_DAY}};
    const IndexKey oldEnded[] = {{oldKey.c_str(), 1700000000}};  // its last day is over then
    const IndexKey endedAndNew[] = {{oldKey.c_str(), 1700000000}, {newKey.c_str(), NO_LAST_DAY}};
    struct Case {
        const char* what;
        std::string index;
        const IndexKey* keys;
        std::size_t keyCount;
        std::uint64_t now;
        SignatureVerdict verdict;
        std::size_t decidingLine;
        std::size_t verifications;
    } cases[] = {
        {"one line", body + oldLine, onlyOld, 1, 1767225599, SignatureVerdict::Good, 0, 1},
        {"one line, expired", body + oldLine, onlyOld, 1, 1767225600, SignatureVerdict::Expired, 0,
         1},
        {"one line, other key", body + oldLine, onlyNew, 1, 0, SignatureVerdict::WrongKey, 1, 0},
        {"old and new, old held", body + oldLine + newLine, onlyOld, 1, 0, SignatureVerdict::Good,
         0, 1},
        {"old and new, new held", body + oldLine + newLine, onlyNew, 1, 0, SignatureVerdict::Good,
         1, 1},
        {"old and new, both held", body + oldLine + newLine, both, 2, 0, SignatureVerdict::Good, 0,
         2},
        {"old expired, new good", body + oldLine + newLine, both, 2, 1767225600,
         SignatureVerdict::Good, 1, 2},
        {"both expired", body + oldLine + newLine, both, 2, 1800000000, SignatureVerdict::Expired,
         0, 2},
        {"unknown key passed over", body + Line(otherKey, 1, "bb") + "\n" + newLine, onlyNew, 1, 0,
         SignatureVerdict::Good, 1, 1},
        {"none held", body + Line(otherKey) + "\n" + newLine, onlyOld, 1, 0,
         SignatureVerdict::WrongKey, 2, 0},
        {"held line forged", body + oldLine + forgedNew, both, 2, 0, SignatureVerdict::BadSignature,
         1, 2},
        {"forged line not held", body + oldLine + forgedNew, onlyOld, 1, 0, SignatureVerdict::Good,
         0, 1},
        {"key past its last day", body + oldLine, oldEnded, 1, 1700000000,
         SignatureVerdict::KeyRetired, 0, 1},
        {"key on its last day", body + oldLine, oldEnded, 1, 1699999999, SignatureVerdict::Good, 0,
         1},
        {"ended key and a new one", body + oldLine + newLine, endedAndNew, 2, 1700000000,
         SignatureVerdict::Good, 1, 2},
        {"unsigned", body, both, 2, 0, SignatureVerdict::Missing, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingCrypto crypto;
        std::size_t signedLength = 0xdeadbeef;
        SignatureFindings findings{};
        EXPECT_EQ(CheckIndexSignature(Bytes(c.index), c.index.size(), c.keys, c.keyCount, c.now,
                                      crypto.Functions(), signedLength, &findings),
                  c.verdict);
        EXPECT_EQ(signedLength, c.verdict == SignatureVerdict::Good ? body.size() : 0xdeadbeef);
        EXPECT_EQ(findings.decidingLine, c.decidingLine);
        EXPECT_EQ(crypto.messages.size(), c.verifications);
        if (!crypto.messages.empty()) {
            EXPECT_EQ(crypto.hashed, body);
        }
    }
    // Each line is verified with its own key, over the same text.
    RecordingCrypto crypto;
    std::size_t signedLength = 0;
    const std::string index = body + oldLine + newLine;
    CheckIndexSignature(Bytes(index), index.size(), both, 2, 0, crypto.Functions(), signedLength);
    EXPECT_EQ(crypto.keys, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(crypto.messages[0],
              "tessaly-file-list-v1\nkey=0123456789abcdef\nexpires=1767225600\nsha256=06" +
                  std::string(60, '0') + "30\n");
    EXPECT_EQ(crypto.messages[1],
              "tessaly-file-list-v1\nkey=fedcba9876543210\nexpires=1800000000\nsha256=06" +
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
