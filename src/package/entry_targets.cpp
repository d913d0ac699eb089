// Composition and checking of the paths named by index entries.
#include "package/entry_targets.h"

#include <cstring>

#include "common/fixed_text.h"
#include "format/cp936_bytes.h"

namespace tessaly {

namespace {

template <std::size_t N>
bool ComposeContained(char (&out)[N], const char* directory, const char* relative,
                      const char* suffix) {
    if (!IsContainedRelativePath(relative) || !IsCp936Text(relative) ||
        !ComposedPathFits(N, std::strlen(directory), std::strlen(relative), std::strlen(suffix))) {
        std::memset(out, 0, N);
        return false;
    }
    return ComposeText(out, {directory, relative, suffix});
}

}  // namespace

bool ComposeFolderPath(char (&out)[FOLDER_PATH_CAPACITY], const char* installDir,
                       const char* path) {
    return ComposeContained(out, installDir, path, "");
}

bool ComposeFilePath(char (&out)[FILE_PATH_CAPACITY], const char* installDir, const char* local) {
    return ComposeContained(out, installDir, local, "");
}

bool ComposeLinkTarget(char (&out)[TARGET_PATH_CAPACITY], const char* installDir,
                       const char* path) {
    if (!ComposedPathFits(LINK_TARGET_CAPACITY, std::strlen(installDir), std::strlen(path))) {
        std::memset(out, 0, sizeof out);
        return false;
    }
    return ComposeContained(out, installDir, path, "");
}

bool ComposeLinkPath(char (&out)[LINK_PATH_CAPACITY], const char* desktopDir, const char* local) {
    return ComposeContained(out, desktopDir, local, LINK_SUFFIX);
}

bool ComposeLaunchPath(char (&out)[TARGET_PATH_CAPACITY], const char* installDir,
                       const char* path) {
    return ComposeContained(out, installDir, path, "");
}

void KeepDirectoryPart(char* text) {
    char* const lastSeparator = std::strrchr(text, '\\');
    char* const cut = lastSeparator != nullptr ? lastSeparator + 1 : text;
    std::memset(cut, 0, std::strlen(cut));
}

}  // namespace tessaly
