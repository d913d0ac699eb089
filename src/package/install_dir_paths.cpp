// The install directory text and the directory search pattern.
#include "package/install_dir_paths.h"

#include <cstring>

#include "common/fixed_text.h"

namespace tessaly {

namespace {

constexpr char INSTALL_FOLDER_NAME[] = "\\Tessaly";

}  // namespace

bool ComposeInstallDir(char (&out)[INSTALL_DIR_CAPACITY], const char* programFiles) {
    if (!JoinedFits(INSTALL_DIR_CAPACITY, {programFiles, INSTALL_FOLDER_NAME, "\\"})) {
        std::memset(out, 0, sizeof out);
        return false;
    }
    return ComposeText(out, {programFiles, INSTALL_FOLDER_NAME});
}

bool ComposeSearchPattern(char (&out)[SEARCH_PATTERN_CAPACITY], const char* path) {
    return ComposeText(out, {path, "\\*"});
}

}  // namespace tessaly
