// Keys, signing and checking of file indexes with OpenSSL 3.
#include "pack/index_signing.h"

#include <fcntl.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "pack/command.h"

namespace tessaly::pack {

void PkeyFree::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}

namespace {

namespace fs = std::filesystem;

constexpr std::size_t OPEN_SSL_ERROR_CAPACITY = 256;  // what ERR_error_string asks for at least

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;
struct SigFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using Signature = std::unique_ptr<ECDSA_SIG, SigFree>;

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) {
        return "unknown OpenSSL error";
    }
    char text[OPEN_SSL_ERROR_CAPACITY];
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

// The key's public half as DER SubjectPublicKeyInfo; empty when OpenSSL cannot write it.
std::string PublicKeyInfo(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0) {
        return {};
    }
    std::string info(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return info;
}

SigningKey LoadKey(const fs::path& file, bool isPrivate, std::string& error) {
    std::string pem;
    if (!ReadWholeFile(file, pem)) {
        error = file.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    SigningKey key(isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                             : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        error = file.string() + ": not a PEM " + (isPrivate ? "private" : "public") + " key (" +
                OpenSslError() + ")";
        Bio again(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
        if (!isPrivate &&
            SigningKey(PEM_read_bio_PrivateKey(again.get(), nullptr, nullptr, nullptr))) {
            error = file.string() + ": a private key, where the public key belongs: give the " +
                    "KEY.pub that keygen wrote beside it, and keep the private key to sign with";
        }
        ERR_clear_error();
        return nullptr;
    }
    const std::string info = PublicKeyInfo(key.get());
    if (!IsP256PublicKeyInfo(reinterpret_cast<const unsigned char*>(info.data()), info.size())) {
        error = file.string() + ": not an ECDSA P-256 key";
        return nullptr;
    }
    return key;
}

// Writes `text` to a new file with `mode`; never replaces an existing file.
bool WriteNewFile(const fs::path& file, const std::string& text, mode_t mode, std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) {
        error = file.string() + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, mode);  // whatever the umask says
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (!written) {
        error = file.string() + ": " + std::strerror(errno);
    }
    ::close(fd);
    return written;
}

std::string PemOf(EVP_PKEY* key, bool isPrivate) {
    Bio bio(BIO_new(BIO_s_mem()));
    const int ok =
        isPrivate ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                  : PEM_write_bio_PUBKEY(bio.get(), key);
    if (ok != 1) {
        return {};
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

// ECDSA with SHA-256 over `message`, as raw r‖s (what CNG verifies) rather than DER.
bool SignRaw(EVP_PKEY* key, const std::string& message,
             unsigned char (&raw)[INDEX_SIGNATURE_SIZE]) {
    MdContext context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        return false;
    }
    std::string der(length, '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (EVP_DigestSign(context.get(), out, &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        return false;
    }
    const unsigned char* in = out;
    Signature signature(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
    if (!signature) {
        return false;
    }
    const int half = static_cast<int>(INDEX_SIGNATURE_SIZE / 2);
    return BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), raw, half) == half &&
           BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), raw + half, half) == half;
}

bool VerifyRaw(EVP_PKEY* key, const char* message, std::size_t size,
               const unsigned char (&raw)[INDEX_SIGNATURE_SIZE]) {
    const int half = static_cast<int>(INDEX_SIGNATURE_SIZE / 2);
    Signature signature(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(raw, half, nullptr);
    BIGNUM* s = BN_bin2bn(raw + half, half, nullptr);
    if (!signature || r == nullptr || s == nullptr || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(signature.get(), &der);
    if (derLength <= 0) {
        return false;
    }
    MdContext context(EVP_MD_CTX_new());
    const bool good =
        context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(derLength),
                         reinterpret_cast<const unsigned char*>(message), size) == 1;
    OPENSSL_free(der);
    ERR_clear_error();
    return good;
}

bool Sha256(const unsigned char* data, std::size_t size, Sha256Digest& digest) {
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
           length == SHA256_SIZE;
}

}  // namespace

bool GenerateKeyPair(const fs::path& privateFile, std::string& error) {
    const fs::path publicFile = privateFile.string() + ".pub";
    for (const fs::path& file : {privateFile, publicFile}) {
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(file, ignored))) {
            error = file.string() + ": exists already; a key is never replaced";
            return false;
        }
    }
    SigningKey key(EVP_EC_gen("P-256"));
    if (!key) {
        error = "cannot make a key: " + OpenSslError();
        return false;
    }
    const std::string privatePem = PemOf(key.get(), true);
    const std::string publicPem = PemOf(key.get(), false);
    if (privatePem.empty() || publicPem.empty()) {
        error = "cannot write the key: " + OpenSslError();
        return false;
    }
    if (!WriteNewFile(privateFile, privatePem, 0600, error)) {
        return false;
    }
    if (!WriteNewFile(publicFile, publicPem, 0644, error)) {
        std::error_code ignored;
        fs::remove(privateFile, ignored);  // half a pair is of no use
        return false;
    }
    return true;
}

SigningKey LoadPrivateKey(const fs::path& file, std::string& error) {
    return LoadKey(file, true, error);
}

SigningKey LoadPublicKey(const fs::path& file, std::string& error) {
    return LoadKey(file, false, error);
}

std::string KeyId(EVP_PKEY* key) {
    const std::string info = PublicKeyInfo(key);
    Sha256Digest digest;
    if (info.empty() ||
        !Sha256(reinterpret_cast<const unsigned char*>(info.data()), info.size(), digest)) {
        return {};
    }
    char keyId[KEY_ID_LENGTH + 1];
    WriteKeyId(digest, keyId);
    return keyId;
}

SignatureVerdict LocateSignatures(const std::string& index, SignatureLines& found) {
    return LocateIndexSignatures(reinterpret_cast<const unsigned char*>(index.data()), index.size(),
                                 found);
}

std::string StripSignatureLines(const std::string& index) {
    SignatureLines found;
    return LocateSignatures(index, found) == SignatureVerdict::Good
               ? index.substr(0, found.signedLength)
               : index;
}

std::string SignIndex(const std::string& index, const std::vector<EVP_PKEY*>& keys,
                      std::uint64_t expires, std::string& error) {
    if (keys.empty() || keys.size() > MOST_SIGNATURE_LINES) {
        error = "cannot sign with " + std::to_string(keys.size()) + " keys: 1 to " +
                std::to_string(MOST_SIGNATURE_LINES);
        return {};
    }
    std::string text = StripSignatureLines(index);
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') {
        text += "\r\n";
    }
    Sha256Digest digest;
    if (!Sha256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest)) {
        error = "cannot sign: " + OpenSslError();
        return {};
    }
    std::string lines;
    std::vector<std::string> keyIds;
    for (EVP_PKEY* key : keys) {
        const std::string keyId = KeyId(key);
        if (std::find(keyIds.begin(), keyIds.end(), keyId) != keyIds.end()) {
            error = "key " + keyId + " is given twice";
            return {};
        }
        keyIds.push_back(keyId);
        IndexSignature signature{};
        std::memcpy(signature.keyId, keyId.c_str(), KEY_ID_LENGTH);
        signature.expires = expires;
        char message[SIGNED_MESSAGE_CAPACITY];
        char line[SIGNATURE_LINE_CAPACITY];
        if (keyId.size() != KEY_ID_LENGTH ||
            !ComposeSignedMessage(signature.keyId, expires, digest, message) ||
            !SignRaw(key, message, signature.signature) || !ComposeSignatureLine(signature, line)) {
            error = "cannot sign: " + OpenSslError();
            return {};
        }
        lines += line;
        lines += "\r\n";
    }
    return text + lines;
}

std::string SignIndex(const std::string& index, EVP_PKEY* key, std::uint64_t expires,
                      std::string& error) {
    return SignIndex(index, std::vector<EVP_PKEY*>{key}, expires, error);
}

SignatureVerdict CheckSignedIndex(const std::string& index, EVP_PKEY* publicKey, std::uint64_t now,
                                  SignatureFindings& findings) {
    const SignatureCrypto crypto{
        Sha256,
        [publicKey](std::size_t, const char* message, std::size_t size,
                    const unsigned char(&raw)[INDEX_SIGNATURE_SIZE]) {
            return VerifyRaw(publicKey, message, size, raw);
        },
    };
    const std::string keyId = KeyId(publicKey);
    const IndexKey held{keyId.c_str(), NO_LAST_DAY};
    std::size_t signedLength = 0;
    return CheckIndexSignature(reinterpret_cast<const unsigned char*>(index.data()), index.size(),
                               &held, 1, now, crypto, signedLength, &findings);
}

}  // namespace tessaly::pack
