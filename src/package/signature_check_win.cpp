// The cryptography of an installer built with keys, through CNG (bcrypt.dll), and the clock.
// Only calls that Windows 7 has: the hash goes through BCryptCreateHash/BCryptHashData/
// BCryptFinishHash (BCryptHash exists from Windows 10 on), and CNG keeps the hash object itself.
#include <windows.h>

#include <bcrypt.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "common/cp936_text_win.h"
#include "common/scoped_win.h"
#include "index_public_key.h"
#include "package/signature_check_win.h"

namespace tessaly {
namespace {

// A hash or key is declared after the provider it comes from, so that it is released first.
ScopedCngAlgorithm OpenAlgorithm(const wchar_t* name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) {
        return ScopedCngAlgorithm();
    }
    return ScopedCngAlgorithm(handle);
}

// BCryptHashData takes a ULONG length; a larger buffer is fed in slices of this size.
constexpr std::size_t HASH_SLICE = 1u << 30;

constexpr std::size_t P256_COORDINATE_SIZE = 32;

// A BCRYPT_ECCPUBLIC_BLOB for P-256: the header, then X and Y, big-endian.
struct P256PublicBlob {
    BCRYPT_ECCKEY_BLOB header;
    unsigned char x[P256_COORDINATE_SIZE];
    unsigned char y[P256_COORDINATE_SIZE];
};
static_assert(sizeof(P256PublicBlob) == sizeof(BCRYPT_ECCKEY_BLOB) + 2 * P256_COORDINATE_SIZE,
              "no padding in the blob");

bool VerifyWithBuiltInKey(std::size_t key, const char* message, std::size_t size,
                          const unsigned char (&signature)[INDEX_SIGNATURE_SIZE]) {
    Sha256Digest digest;
    if (!Sha256(reinterpret_cast<const unsigned char*>(message), size, digest)) {
        return false;
    }
    const ScopedCngAlgorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa.IsValid()) {
        return false;
    }
    P256PublicBlob blob = {{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, P256_COORDINATE_SIZE}, {}, {}};
    std::memcpy(blob.x, INDEX_KEY_POINTS[key], sizeof blob.x);
    std::memcpy(blob.y, INDEX_KEY_POINTS[key] + sizeof blob.x, sizeof blob.y);
    BCRYPT_KEY_HANDLE imported = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported,
                                            reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0))) {
        return false;
    }
    const ScopedCngKey held(imported);
    // CNG takes the raw r‖s, and does not write through these pointers.
    return BCRYPT_SUCCESS(BCryptVerifySignature(held.Get(), nullptr, digest, sizeof digest,
                                                const_cast<PUCHAR>(signature), INDEX_SIGNATURE_SIZE,
                                                0));
}

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::uint64_t UNIX_EPOCH_AS_FILE_TIME = 116444736000000000ull;

std::uint64_t UtcSecondsNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks < UNIX_EPOCH_AS_FILE_TIME ? 0 : (ticks - UNIX_EPOCH_AS_FILE_TIME) / 10000000;
}

// A new SHA-256 hash. Opening a provider is the costly part of a small hash, and every download
// is hashed: the provider is opened once and kept for the life of the process (never closed, so
// that a worker still hashing while the process exits never meets a closed one).
ScopedCngHash CreateSha256() {
    static const BCRYPT_ALG_HANDLE sha256 = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM).Detach();
    BCRYPT_HASH_HANDLE created = nullptr;
    if (sha256 == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(sha256, &created, nullptr, 0, nullptr, 0, 0))) {
        return ScopedCngHash();
    }
    return ScopedCngHash(created);
}

// An installed file is read in pieces of this size, so that hashing it takes no more memory than
// that, however large it is.
constexpr DWORD FILE_HASH_CHUNK = 1u << 20;

}  // namespace

bool Sha256(const unsigned char* data, std::size_t size, Sha256Digest& digest) {
    const ScopedCngHash hash = CreateSha256();
    if (!hash.IsValid()) {
        return false;
    }
    while (size > 0) {
        const ULONG slice = static_cast<ULONG>(size < HASH_SLICE ? size : HASH_SLICE);
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.Get(), const_cast<PUCHAR>(data), slice, 0))) {
            return false;
        }
        data += slice;
        size -= slice;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.Get(), digest, SHA256_SIZE, 0));
}

bool BodyMatchesName(const ByteBuffer& body, const Sha256Digest& named) {
    Sha256Digest received;
    return Sha256(body.data(), body.size(), received) &&
           std::memcmp(received, named, SHA256_SIZE) == 0;
}

bool Sha256OfFile(const char* filePath, const InstallContext& context, Sha256Digest& digest) {
    std::u16string widePath;
    if (!WidePath(filePath, context, widePath)) {
        return false;
    }
    const ScopedKernelHandle file(CreateFileW(AsWide(widePath), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                              nullptr));
    const ScopedCngHash hash = CreateSha256();
    if (!file.IsValid() || !hash.IsValid()) {
        return false;
    }
    const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[FILE_HASH_CHUNK]);
    if (!chunk) {
        return false;
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), chunk.get(), FILE_HASH_CHUNK, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return BCRYPT_SUCCESS(BCryptFinishHash(hash.Get(), digest, SHA256_SIZE, 0));
        }
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.Get(), chunk.get(), read, 0))) {
            return false;
        }
    }
}

IndexTrust BuiltInIndexTrust() {
    return {INDEX_KEYS, std::size(INDEX_KEYS), UtcSecondsNow(), {Sha256, VerifyWithBuiltInKey}};
}

}  // namespace tessaly
