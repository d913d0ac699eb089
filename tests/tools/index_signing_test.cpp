// The publisher's index signing: key pairs, accepted signatures, and every change refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pack/index_signing.h"
#include "pack_test_support.h"

namespace tessaly::pack::testing {
namespace {

TEST(IndexSigning, KeyPairSignsAndTheCheckRefusesEveryChange) {
    ScratchDir dir;
    std::string error;
    ASSERT_TRUE(GenerateKeyPair(dir / "index.key", error)) << error;
    struct stat info {};
    ASSERT_EQ(stat((dir / "index.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string before = ReadWholeFile(dir / "index.key");
    EXPECT_FALSE(GenerateKeyPair(dir / "index.key", error));
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(dir / "index.key"), before);
    ASSERT_TRUE(GenerateKeyPair(dir / "other.key", error)) << error;

    const SigningKey key = LoadPrivateKey(dir / "index.key", error);
    const SigningKey publicKey = LoadPublicKey(dir / "index.key.pub", error);
    const SigningKey otherKey = LoadPublicKey(dir / "other.key.pub", error);
    ASSERT_TRUE(key && publicKey && otherKey) << error;
    EXPECT_EQ(KeyId(key.get()), KeyId(publicKey.get()));
    EXPECT_EQ(KeyId(publicKey.get()).size(), KEY_ID_LENGTH);
    EXPECT_NE(KeyId(publicKey.get()), KeyId(otherKey.get()));

    const std::string index = "1|bin|\r\n0|objects/ab|bin\\a.exe";  // no final line end
    const std::string signedIndex = SignIndex(index, key.get(), 2000000000, error);
    ASSERT_FALSE(signedIndex.empty()) << error;
    EXPECT_EQ(signedIndex.rfind(index + "\r\n#signature v1 key=" + KeyId(key.get()), 0), 0u);
    EXPECT_EQ(StripSignatureLines(signedIndex), index + "\r\n");
    // Signing again replaces the line rather than adding one.
    EXPECT_EQ(StripSignatureLines(SignIndex(signedIndex, key.get(), 1, error)), index + "\r\n");
    // Signed with two keys: one line each, in the order given, over the same text.
    const SigningKey otherPrivate = LoadPrivateKey(dir / "other.key", error);
    ASSERT_TRUE(otherPrivate) << error;
    const std::string twice = SignIndex(index, {key.get(), otherPrivate.get()}, 2000000000, error);
    SignatureLines lines;
    ASSERT_EQ(LocateSignatures(twice, lines), SignatureVerdict::Good) << twice;
    ASSERT_EQ(lines.count, 2u);
    EXPECT_EQ(lines.lines[0].keyId, KeyId(key.get()));
    EXPECT_EQ(lines.lines[1].keyId, KeyId(otherKey.get()));
    EXPECT_EQ(StripSignatureLines(twice), index + "\r\n");
    EXPECT_EQ(SignIndex(index, {key.get(), key.get()}, 1, error), "");
    EXPECT_NE(error.find("given twice"), std::string::npos) << error;

    // An installer holding either key takes the index signed with both. One key's verdicts
    // (genuine, expired, changed, another key) are check --key's rows (check_test.cpp), the
    // order of the checks CheckIndexSignature's (tests/unit/index_signature_test.cpp).
    SignatureFindings findings;
    EXPECT_EQ(CheckSignedIndex(twice, publicKey.get(), 0, findings), SignatureVerdict::Good);
    EXPECT_EQ(CheckSignedIndex(twice, otherKey.get(), 0, findings), SignatureVerdict::Good);
}

TEST(IndexSigning, RefusesKeysOfTheWrongKind) {
    ScratchDir dir;
    std::string problem;
    ASSERT_TRUE(GenerateKeyPair(dir / "index.key", problem)) << problem;
    EXPECT_FALSE(LoadPublicKey(dir / "index.key", problem));
    EXPECT_NE(problem.find("index.key: a private key, where the public key belongs"),
              std::string::npos)
        << problem;
    WriteTestFile(dir / "junk.pem", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n");
    std::string error;
    EXPECT_FALSE(LoadPublicKey(dir / "junk.pem", error));
    EXPECT_NE(error.find("junk.pem"), std::string::npos) << error;
    ASSERT_EQ(test::RunCommand({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                                "ec_paramgen_curve:P-384", "-out", (dir / "p384.pem").string()})
                  .exitCode,
              0);
    EXPECT_FALSE(LoadPrivateKey(dir / "p384.pem", error));
    EXPECT_NE(error.find("P-256"), std::string::npos) << error;
}

}  // namespace
}  // namespace tessaly::pack::testing
