// The texts of the install directory step: the directory itself and the directory search pattern
// that proves a directory exists. Both are refused as a whole when they do not fit.
#pragma once

#include <cstddef>

namespace tessaly {

constexpr std::size_t INSTALL_DIR_CAPACITY = 512;
constexpr std::size_t SEARCH_PATTERN_CAPACITY = 512;

// The Program Files folder + "\Tessaly", without the trailing backslash that the step appends once
// the directory exists. Refused when the finished text, that backslash included, would not fit.
bool ComposeInstallDir(char (&out)[INSTALL_DIR_CAPACITY], const char* programFiles);
// `path` + "\*".
bool ComposeSearchPattern(char (&out)[SEARCH_PATTERN_CAPACITY], const char* path);

}  // namespace tessaly
