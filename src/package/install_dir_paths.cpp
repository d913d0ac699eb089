// The install directory text and the directory search pattern.
#include "package/install_dir_paths.h"

#include <cstring>

#include "common/fixed_text.h"
#include "format/entry_paths.h"

namespace tessaly {

bool ComposeInstallDir(char (&out)[INSTALL_DIR_CAPACITY], const char* programFiles) {
    if (!ComposedPathFits(INSTALL_DIR_CAPACITY, InstallDirLength(std::strlen(programFiles)), 0)) {
        std::memset(out, 0, sizeof out);
        return false;
    }
    return ComposeText(out, {programFiles, INSTALL_FOLDER_NAME});
}

bool ComposeSearchPattern(char (&out)[SEARCH_PATTERN_CAPACITY], const char* path) {
    return ComposeText(out, {path, "\\*"});
}

}  // namespace tessaly
