// Checks on the local paths that the file index names. The index arrives over plain HTTP and the
// installer runs elevated, so a local path must never reach outside the directory it is joined to,
// and a path that does not fit its fixed text is refused rather than cut.
#pragma once

#include <cstddef>

namespace tessaly {

// Capacities of the texts the install passes compose their paths in (terminator included).
constexpr std::size_t DESKTOP_DIR_CAPACITY = 512;  // the desktop folder and a backslash
constexpr std::size_t FOLDER_PATH_CAPACITY = 256;  // install dir + Folder path
constexpr std::size_t FILE_PATH_CAPACITY = 512;    // install dir + Download local
constexpr std::size_t TARGET_PATH_CAPACITY = 512;  // install dir + Shortcut or Launch path
constexpr std::size_t LINK_PATH_CAPACITY = 512;    // desktop dir + Shortcut local + ".lnk"
constexpr std::size_t LINK_TARGET_CAPACITY = 260;  // the link's target as the link object takes it
constexpr std::size_t LINK_PATH_WIDE_CAPACITY = 260;  // the link path in UTF-16 units

// True when `relative` names something inside the directory it is appended to: not absolute, not
// drive-qualified, not UNC or a device path, no colon anywhere, no ".." component (with either
// separator), and no component that is a reserved device name such as CON or NUL. An empty path is
// contained (it names the directory itself).
bool IsContainedRelativePath(const char* relative);

}  // namespace tessaly
