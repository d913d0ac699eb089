// Names of files, folders and links as Windows and the installer see them: what a name must not
// contain, and when two local paths name the same thing.
#pragma once

#include <string>
#include <vector>

namespace tessaly::pack {

// Why one name (a UTF-8 file, folder or link name, without separators) cannot be written into the
// index or held by Windows; empty when it can.
std::string WindowsNameProblem(const std::string& utf8Name);

// Why a name already converted to code page 936 cannot be used: a double-byte character whose
// second byte is "|" (the installer would cut the line there) or a backslash (byte-wise path code
// would take it for a separator). Empty when it can.
std::string Cp936NameProblem(const std::string& cp936Name);

// The components of a code page 936 local path, cut at slashes and backslashes that are not the
// second byte of a double-byte character; empty and "." components are dropped, as Windows does.
std::vector<std::string> SplitLocalPath(const std::string& cp936Path);

// True when the path holds a slash or backslash that is not the second byte of a double-byte
// character.
bool HasSeparator(const std::string& cp936Path);

// A key under which Windows takes two local paths for the same: the components joined with
// backslashes, every letter that has an upper case in it, as NTFS compares names (ａ and Ａ, α
// and Α, а and А, ⅰ and Ⅰ are one name).
std::string LocalPathKey(const std::string& cp936Path);

// The key of the folder that holds `cp936Path`; empty when it lies in the install directory itself.
std::string ParentKey(const std::string& cp936Path);

}  // namespace tessaly::pack
