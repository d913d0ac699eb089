// Containment checks for the local paths of the file index.
#include "format/entry_paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace tessaly {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The length of `text` without its trailing dots and spaces, which Windows drops.
std::size_t TrimmedLength(const char* text, std::size_t length) {
    while (length > 0 && (text[length - 1] == '.' || text[length - 1] == ' ')) {
        --length;
    }
    return length;
}

// Windows drops trailing dots and spaces from a path component, so "..", ".. " and "..." all
// climb to the parent, and "nul.txt " opens the null device.
std::string Normalised(const char* begin, const char* end) {
    std::string name(begin, TrimmedLength(begin, static_cast<std::size_t>(end - begin)));
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

// The stem before the first dot names the device whatever follows it, and Windows drops the
// spaces that end the stem too: "NUL .txt" and "con  .log" open devices as "NUL.txt" does.
bool IsReservedDeviceName(const std::string& normalised) {
    const std::size_t stemLength = std::min(normalised.find('.'), normalised.size());
    const std::string stem(normalised, 0, TrimmedLength(normalised.c_str(), stemLength));
    static const char* const NAMES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* name : NAMES) {
        if (stem == name) {
            return true;
        }
    }
    const bool numbered =
        stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    return numbered && stem[3] >= '1' && stem[3] <= '9';
}

// A component is refused when it climbs out (made only of dots and spaces, other than ".") or
// names a device.
bool IsSafeComponent(const char* begin, const char* end) {
    if (begin == end || (end - begin == 1 && *begin == '.')) {
        return true;
    }
    const std::string normalised = Normalised(begin, end);
    if (normalised.empty()) {
        return false;
    }
    return !IsReservedDeviceName(normalised);
}

}  // namespace

bool IsContainedRelativePath(const char* relative) {
    if (IsSeparator(relative[0])) {
        return false;  // rooted, UNC or device path
    }
    if (std::strchr(relative, ':') != nullptr) {
        return false;  // drive letters and alternate data streams
    }
    const char* componentStart = relative;
    for (const char* p = relative;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (!IsSafeComponent(componentStart, p)) {
                return false;
            }
            if (*p == '\0') {
                return true;
            }
            componentStart = p + 1;
        }
    }
}

}  // namespace tessaly
