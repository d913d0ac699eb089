// Fuzzes the file index parser with arbitrary bodies and checks what every record must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "format/file_list.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A field is a terminated text followed only by zero bytes.
template <std::size_t N>
std::size_t CheckField(const char (&field)[N]) {
    const std::size_t length = strnlen(field, N);
    Require(length < N);
    for (std::size_t i = length; i < N; ++i) {
        Require(field[i] == '\0');
    }
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessaly::ByteBuffer body(data, data + size);
    tessaly::EntryList entries;
    const bool ok = tessaly::ParseFileList(body, entries);
    Require(ok || entries.empty());
    // No text before the first zero byte means no line at all.
    const std::size_t textLength = strnlen(reinterpret_cast<const char*>(data), size);
    Require(ok == (textLength > 0));
    for (const tessaly::InstallEntry& entry : entries) {
        Require(entry.kind >= 0 && entry.kind <= 9);
        const std::size_t pathLength = CheckField(entry.path);
        CheckField(entry.local);
        Require(pathLength > 0);
        Require(std::memchr(entry.path, '|', pathLength) == nullptr);
        Require(std::memchr(entry.path, '\n', pathLength) == nullptr);
        Require(std::memchr(entry.path, '\r', pathLength) == nullptr);
    }
    // Never more entries than non-empty lines in the text.
    std::size_t lines = 0;
    bool inLine = false;
    for (std::size_t i = 0; i < textLength; ++i) {
        const bool breakByte = data[i] == '\r' || data[i] == '\n';
        lines += !breakByte && !inLine;
        inLine = !breakByte;
    }
    Require(entries.size() <= lines);
    return 0;
}
