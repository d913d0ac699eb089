// The texts of the install directory step: the directory itself and the directory search pattern
// that proves a directory exists. Both are refused as a whole when they do not fit.
#pragma once

#include <cstddef>

namespace tessaly {

constexpr std::size_t kProgramFilesCapacity = 512;
constexpr std::size_t kInstallDirCapacity = 512;
constexpr std::size_t kSearchPatternCapacity = 512;

// The Program Files folder + "\Tessaly", without the trailing backslash that the step appends once
// the directory exists. Refused when the finished text, that backslash included, would not fit.
bool ComposeInstallDir(char (&out)[kInstallDirCapacity], const char* programFiles);
// `path` + "\*".
bool ComposeSearchPattern(char (&out)[kSearchPatternCapacity], const char* path);

}  // namespace tessaly
