// Writing a file index, and the server layout of a package tree:
//
//     OUT_DIR/AppData/FileList.txt          the index, replaced last
//     OUT_DIR/AppData/objects/<sha256>      every file, named by its content
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "package/wire_protocol.h"

namespace tessaly::pack {

// One line of an index, its columns as bytes (local names in code page 936).
struct IndexEntry {
    int kind;
    std::string path;
    std::string local;
};

// The tree is served from OUT_DIR, so its package folder is the installer's base path.
constexpr std::string_view PACKAGE_FOLDER =
    std::string_view(TESSALY_PACKAGE_BASE_PATH).substr(1, sizeof TESSALY_PACKAGE_BASE_PATH - 3);
constexpr char OBJECT_FOLDER[] = "objects";

// The server path of a file whose SHA-256 digest is `sha256Hex`, relative to the package base.
std::string ObjectPath(const std::string& sha256Hex);

// "kind|path|local", one line per entry, each ended by CR LF. Every line has three columns, so
// a Folder or Launch line ends with a bar.
std::string FormatIndex(const std::vector<IndexEntry>& entries);

// Writes `bytes` to `file` through a temporary file beside it that is then renamed over it, so a
// reader sees either the old or the new content, never a part. False, with `error` set, on failure.
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& bytes,
                         std::string& error);

enum class ObjectStore { Kept, Written, Failed };

// Stores `source` as the object named `sha256Hex` in `objectFolder`. An object already there whose
// content has that digest is kept; otherwise the file is copied to a temporary file, which is
// digested again before it is renamed into place, so an object never holds anything but what its
// name says (a source that changed since it was digested is refused with `error` set).
ObjectStore StoreObject(const std::filesystem::path& source,
                        const std::filesystem::path& objectFolder, const std::string& sha256Hex,
                        std::string& error);

}  // namespace tessaly::pack
