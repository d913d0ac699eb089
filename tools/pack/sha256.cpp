// SHA-256 through OpenSSL's digest interface.
#include "pack/sha256.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "format/hex.h"

namespace tessaly::pack {

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

std::string Finish(EVP_MD_CTX* context) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    return HexText(digest, length);
}

}  // namespace

std::string Sha256Hex(const void* data, std::size_t size) {
    DigestContext context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    EVP_DigestUpdate(context.get(), data, size);
    return Finish(context.get());
}

bool Sha256FileHex(const std::filesystem::path& file, std::string& hex, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    DigestContext context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::vector<char> chunk(1 << 16);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "could not be read to its end";
        return false;
    }
    hex = Finish(context.get());
    return true;
}

}  // namespace tessaly::pack
