// SHA-256 digests, written as 64 lower-case hexadecimal digits. A package stores every file under
// its digest, so a server path names the content and never changes meaning between releases.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace tessaly::pack {

std::string Sha256Hex(const void* data, std::size_t size);

// Digests the file's content, read in chunks. False, with `error` set, when it cannot be read.
bool Sha256FileHex(const std::filesystem::path& file, std::string& hex, std::string& error);

}  // namespace tessaly::pack
