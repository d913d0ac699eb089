// One line of the file index, as the install passes act on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaly {

enum EntryKind : std::int32_t {
    Download = 0,  // path: file on the package server; local: where it goes under the install dir
    Folder = 1,    // path: directory to create under the install dir
    Shortcut = 2,  // path: link target under the install dir; local: link name without ".lnk"
    Launch = 3,    // path: file under the install dir to open when the install is done
    // 4 to 9 are accepted and kept, but no pass acts on them.
};

constexpr std::size_t ENTRY_PATH_CAPACITY = 256;
constexpr std::size_t ENTRY_LOCAL_CAPACITY = 128;
// The longest column that fits its field, in bytes; a longer one skips its line.
constexpr std::size_t PATH_COLUMN_LIMIT = ENTRY_PATH_CAPACITY - 1;
constexpr std::size_t LOCAL_COLUMN_LIMIT = ENTRY_LOCAL_CAPACITY - 1;

// A plain fixed-size record, copied by value; every byte after a terminator is zero.
struct InstallEntry {
    std::int32_t kind;
    char path[ENTRY_PATH_CAPACITY];
    char local[ENTRY_LOCAL_CAPACITY];
};

using EntryList = std::vector<InstallEntry>;

}  // namespace tessaly
