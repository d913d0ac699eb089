// The publisher's keys and signatures for file indexes, with OpenSSL: ECDSA P-256 key pairs in PEM
// files, and the signature lines (format/index_signature.h) that ends a signed index. The
// installer checks the same line with its own code and Windows' CNG.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "format/index_signature.h"

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

// LocateIndexSignatures over a text.
SignatureVerdict LocateSignatures(const std::string& index, SignatureLines& found);

// `index` without the signature lines it ends with (and the line end that follows them).
std::string StripSignatureLines(const std::string& index);

// Signs `index` (whose own signature lines, if any, are dropped first) with each of `keys` (1 to
// MOST_SIGNATURE_LINES, each a different key), every line valid until `expires` (UTC seconds): the
// text, ending with a line end (CR LF added when it has none), then one signature line and CR LF
// per key, in the order given. Empty, with `error` set, on failure.
std::string SignIndex(const std::string& index, const std::vector<EVP_PKEY*>& keys,
                      std::uint64_t expires, std::string& error);
std::string SignIndex(const std::string& index, EVP_PKEY* key, std::uint64_t expires,
                      std::string& error);

// The judgement of an installer that holds only `publicKey`, with OpenSSL in place of CNG.
SignatureVerdict CheckSignedIndex(const std::string& index, EVP_PKEY* publicKey, std::uint64_t now,
                                  SignatureFindings& findings);

}  // namespace tessaly::pack
