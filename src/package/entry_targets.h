// The paths the install passes act on: the install or desktop directory followed by one column of
// an index entry. A path is composed, and checked, before anything is fetched, written, linked or
// opened for it: the column must be code page 936 text and stay inside its directory, and the whole
// path must fit the fixed text it is composed in. A refused path leaves its text all zeros.
#pragma once

#include "format/entry_paths.h"

namespace tessaly {

// How a failure report says that a path was refused.
constexpr char REFUSED_PATH_REASON[] =
    "path refused (outside its folder, too long, or not code page 936)";

// installDir + a Folder entry's `path`.
bool ComposeFolderPath(char (&out)[FOLDER_PATH_CAPACITY], const char* installDir, const char* path);
// installDir + a Download entry's `local`. The entry's server-side `path` is a URL path and is not
// checked here.
bool ComposeFilePath(char (&out)[FILE_PATH_CAPACITY], const char* installDir, const char* local);
// installDir + a Shortcut entry's `path`; refused also when it would not fit the link object's
// 260-byte target text.
bool ComposeLinkTarget(char (&out)[TARGET_PATH_CAPACITY], const char* installDir, const char* path);
// desktopDir + a Shortcut entry's `local` + ".lnk".
bool ComposeLinkPath(char (&out)[LINK_PATH_CAPACITY], const char* desktopDir, const char* local);
// installDir + a Launch entry's `path`.
bool ComposeLaunchPath(char (&out)[TARGET_PATH_CAPACITY], const char* installDir, const char* path);

// Zero-fills everything after the last backslash of `text`, so that a file path becomes its
// directory with the trailing backslash. A text without a backslash becomes empty.
void KeepDirectoryPart(char* text);

}  // namespace tessaly
