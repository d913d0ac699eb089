// The publisher's keys and signatures for file indexes, with OpenSSL: ECDSA P-256 key pairs in PEM
// files, and the signature line (package/index_signature.h) that ends a signed index. The installer
// checks the same line with its own code and Windows' CNG.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "package/index_signature.h"

typedef struct evp_pkey_st EVP_PKEY;

namespace tessaly::pack {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const;
};
using SigningKey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// Writes a new private key to `privateFile` (PEM, mode 0600) and its public key to
// `privateFile` + ".pub" (PEM). Refuses, writing nothing, when either file exists.
bool GenerateKeyPair(const std::filesystem::path& privateFile, std::string& error);

// Reads a PEM private key (for signing) or a PEM public key; either must be ECDSA P-256.
SigningKey LoadPrivateKey(const std::filesystem::path& file, std::string& error);
SigningKey LoadPublicKey(const std::filesystem::path& file, std::string& error);

// The key id the signature line names: the first 16 hex digits of the SHA-256 of the DER
// SubjectPublicKeyInfo.
std::string KeyId(EVP_PKEY* key);

// LocateIndexSignature over a text.
SignatureVerdict LocateSignature(const std::string& index, std::size_t& signedLength,
                                 IndexSignature& signature);

// `index` without any signature line it ends with (and the line end that follows it).
std::string StripSignatureLine(const std::string& index);

// Signs `index` (whose own signature line, if any, is dropped first) valid until `expires` (UTC
// seconds): the text, ending with a line end (CR LF added when it has none), then the signature
// line and CR LF. Empty, with `error` set, on failure.
std::string SignIndex(const std::string& index, EVP_PKEY* key, std::uint64_t expires,
                      std::string& error);

// The installer's judgement of a signed index, with OpenSSL in place of CNG. When the signature
// line could be read (any verdict but Missing, Duplicate and Malformed), `signature` holds it.
SignatureVerdict CheckSignedIndex(const std::string& index, EVP_PKEY* publicKey, std::uint64_t now,
                                  IndexSignature& signature);

}  // namespace tessaly::pack
