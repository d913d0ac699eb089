// Hashes a file with the keyed installer's CNG SHA-256, once over the whole file in memory, and
// prints the digest and the time the hash alone took; then once more as the installer hashes a file
// installed already (Sha256OfFile: read in pieces and hashed), and the time that took, for the
// install benchmark:
//   sha256_probe FILE
//   -> "sha256=<64 hex digits> bytes=268435456 ms=1012.4 file_ms=1200.7"
// Exit code 0 on success, 1 when the file cannot be read or CNG fails, 2 on a usage error.
#include <chrono>
#include <cstring>
#include <cstdio>
#include <fstream>

#include "package/signature_check_win.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sha256_probe FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    tessaly::ByteBuffer bytes(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()),
                        static_cast<std::streamsize>(bytes.size()))) {
        std::fprintf(stderr, "sha256_probe: cannot read %s\n", argv[1]);
        return 1;
    }
    tessaly::Sha256Digest digest;
    const auto start = std::chrono::steady_clock::now();
    const bool hashed = tessaly::Sha256(bytes.data(), bytes.size(), digest);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    if (!hashed) {
        std::fprintf(stderr, "sha256_probe: CNG failed\n");
        return 1;
    }
    tessaly::Sha256Digest fromFile;
    const auto fileStart = std::chrono::steady_clock::now();
    // No install ran: no folder was named by Windows, and the path is converted as it is.
    const tessaly::InstallContext context = {};
    const bool fileHashed = tessaly::Sha256OfFile(argv[1], context, fromFile);
    const std::chrono::duration<double, std::milli> fileElapsed =
        std::chrono::steady_clock::now() - fileStart;
    if (!fileHashed || std::memcmp(digest, fromFile, sizeof digest) != 0) {
        std::fprintf(stderr, "sha256_probe: hashing the file in pieces failed or differed\n");
        return 1;
    }
    char hex[2 * tessaly::SHA256_SIZE + 1];
    tessaly::WriteHex(digest, tessaly::SHA256_SIZE, hex);
    std::printf("sha256=%s bytes=%llu ms=%.1f file_ms=%.1f\n", hex,
                static_cast<unsigned long long>(bytes.size()), elapsed.count(),
                fileElapsed.count());
    return 0;
}
