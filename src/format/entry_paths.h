// Checks on the local paths that the file index names. The index arrives over plain HTTP and the
// installer runs elevated, so a local path must never reach outside the directory it is joined to,
// and a path that does not fit its fixed text is refused rather than cut.
#pragma once

#include <cstddef>

namespace tessaly {

// The folder the installer makes under Program Files; the install directory is that path, this
// name and a closing backslash.
constexpr char INSTALL_FOLDER_NAME[] = "\\Tessaly";
constexpr std::size_t InstallDirLength(std::size_t programFilesLength) {
    return programFilesLength + (sizeof INSTALL_FOLDER_NAME - 1) + 1;
}

// What a link's name is followed by in its file name on the desktop.
constexpr char LINK_SUFFIX[] = ".lnk";

// Capacities of the texts the install passes compose their paths in (terminator included).
constexpr std::size_t DESKTOP_DIR_CAPACITY = 512;  // the desktop folder and a backslash
constexpr std::size_t FOLDER_PATH_CAPACITY = 256;  // install dir + Folder path
constexpr std::size_t FILE_PATH_CAPACITY = 512;    // install dir + Download local
constexpr std::size_t TARGET_PATH_CAPACITY = 512;  // install dir + Shortcut or Launch path
constexpr std::size_t LINK_PATH_CAPACITY = 512;    // desktop dir + Shortcut local + ".lnk"
constexpr std::size_t LINK_TARGET_CAPACITY = 260;  // the link's target as the link object takes it
constexpr std::size_t LINK_PATH_WIDE_CAPACITY = 260;  // the link path in UTF-16 units

// True when a directory of `directoryLength` bytes followed by a column of `columnLength` bytes and
// a suffix of `suffixLength` bytes fits a text of `capacity` bytes, terminator included. The
// installer composes no path that does not; the publisher's tool judges an index by the same sum.
constexpr bool ComposedPathFits(std::size_t capacity, std::size_t directoryLength,
                                std::size_t columnLength, std::size_t suffixLength = 0) {
    return directoryLength + columnLength + suffixLength < capacity;
}

// True when `relative` names something inside the directory it is appended to: not absolute, not
// drive-qualified, not UNC or a device path, no colon anywhere, no ".." component (with either
// separator), and no component that names a device: CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9,
// CONIN$ or CONOUT$, in any letter case, alone or before an extension, whatever dots and spaces end
// the name or its stem ("nul.txt ", "NUL .txt"). An empty path is contained (it names the directory
// itself).
bool IsContainedRelativePath(const char* relative);

}  // namespace tessaly
