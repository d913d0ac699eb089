// Fetches package paths with FetchUrl, one after the other in this one process, and prints a
// line per fetch for the Wine tests:
//   fetch_probe PATH...
//   -> "result=1 bytes=67108864 fnv1a=0123456789abcdef ms=812" (result 1 = true, 0 = false)
// The byte count is the buffer's size after the call, so a failure that left bytes behind shows.
// Exit code 0 once every path was fetched (whatever the results), 2 on a usage error.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "package/fetch_url_win.h"

namespace {

// FNV-1a, 64 bits: enough to tell a body that arrived byte for byte from one that did not.
std::uint64_t Fnv1a64(const tessaly::ByteBuffer& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3ull;
    }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fetch_probe PATH...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        tessaly::ByteBuffer buffer;
        const auto start = std::chrono::steady_clock::now();
        const bool result = tessaly::FetchUrl(argv[i], buffer);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("result=%d bytes=%llu fnv1a=%016llx ms=%lld\n", result ? 1 : 0,
                    static_cast<unsigned long long>(buffer.size()),
                    static_cast<unsigned long long>(Fnv1a64(buffer)),
                    static_cast<long long>(elapsed.count()));
        std::fflush(stdout);
    }
    return 0;
}
