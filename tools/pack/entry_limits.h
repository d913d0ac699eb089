// What one index entry needs so that the installer can act on it: columns that fit their fields,
// local paths that stay inside the folder they are joined to, and composed paths that fit the
// installer's fixed path texts even on a machine whose Program Files path is long.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "format/entry_paths.h"
#include "format/install_entry.h"
#include "pack/index_writer.h"

namespace tessaly::pack {

// The Program Files path the limits are worked out for; real ones are far shorter
// ("C:\Program Files" is 16 bytes).
constexpr std::size_t ASSUMED_PROGRAM_FILES_LENGTH = 64;
// The install directory: that path followed by the install folder and a backslash.
constexpr std::size_t ASSUMED_INSTALL_DIR_LENGTH = InstallDirLength(ASSUMED_PROGRAM_FILES_LENGTH);
// The desktop directory: a folder path of the same length followed by one backslash.
constexpr std::size_t ASSUMED_DESKTOP_DIR_LENGTH = ASSUMED_PROGRAM_FILES_LENGTH + 1;

// Every reason why the installer could not act on `entry` as meant, one message each; empty when
// there is none. Kinds 4 to 9 are only checked for their column lengths.
std::vector<std::string> EntryProblems(const IndexEntry& entry);

}  // namespace tessaly::pack
