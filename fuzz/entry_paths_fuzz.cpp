// Fuzzes the local path checks: whatever they accept must stay inside its directory.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "format/entry_paths.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// An independent statement of "stays inside": no root, no drive or stream, and no component
// that Windows would read as the parent (dots and spaces only, once trailing ones are dropped).
bool ClimbsOrRoots(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path[0] == '\\' || path[0] == '/' || path.find(':') != std::string::npos) {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string component = path.substr(start, end - start);
        const bool dotsAndSpaces =
            !component.empty() && component.find_first_not_of(". ") == std::string::npos;
        if (dotsAndSpaces && component != ".") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    if (path.find('\0') != std::string::npos) {
        return 0;  // the index's columns never hold a zero byte
    }
    if (tessaly::IsContainedRelativePath(path.c_str())) {
        Require(!ClimbsOrRoots(path));
    }
    return 0;
}
