// Whole files for the tests: read into a string, or written from one (folders made), as bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace tessaly::test {

// The bytes of `path`; empty when it cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces `path` with `bytes`, making its folder when missing; false when it cannot be written.
inline bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return out.good();
}

// WriteWholeFile for a test's own set-up: a file it cannot write throws std::runtime_error naming
// it, which ends the test there rather than in a later, puzzling check.
inline void WriteTestFile(const std::filesystem::path& path, const std::string& bytes) {
    if (!WriteWholeFile(path, bytes)) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace tessaly::test
