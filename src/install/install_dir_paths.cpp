// The install directory text and the directory search pattern.
#include "install/install_dir_paths.h"

#include <cstring>

#include "common/fixed_text.h"

namespace tessaly {

namespace {

constexpr char kInstallFolderName[] = "\\Tessaly";

}  // namespace

bool ComposeInstallDir(char (&out)[kInstallDirCapacity], const char* programFiles) {
    if (!JoinedFits(kInstallDirCapacity, {programFiles, kInstallFolderName, "\\"})) {
        std::memset(out, 0, sizeof out);
        return false;
    }
    return ComposeText(out, {programFiles, kInstallFolderName});
}

bool ComposeSearchPattern(char (&out)[kSearchPatternCapacity], const char* path) {
    return ComposeText(out, {path, "\\*"});
}

}  // namespace tessaly
