// The three passes over the entry list. Each path is composed in a text of its own inside the loop,
// so memory stays flat however long the index is.
#include "package/install_passes.h"

#include <cstring>

#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "package/entry_targets.h"

namespace tessaly {

bool RunDownloadPass(const EntryList& entries, const char* installDir,
                     const DownloadPassActions& actions) {
    if (entries.empty()) {
        ReportFailure("download files", "the file index", "no entries");
        return false;
    }
    for (const InstallEntry& entry : entries) {
        if (entry.kind == Download) {
            if (!actions.downloadToFile(entry.path, entry.local)) {
                return false;
            }
        } else if (entry.kind == Folder) {
            char folderPath[FOLDER_PATH_CAPACITY];
            if (!ComposeFolderPath(folderPath, installDir, entry.path)) {
                ReportFailure("create folder", entry.path, REFUSED_PATH_REASON);
                return false;
            }
            if (!actions.ensureDirectory(folderPath)) {
                return false;
            }
        }
    }
    return true;
}

bool RunShortcutPass(const EntryList& entries, const char* installDir,
                     char (&desktopDir)[DESKTOP_DIR_CAPACITY], const ShortcutPassActions& actions) {
    if (entries.empty()) {
        ReportFailure("create links", "the file index", "no entries");
        return false;
    }
    std::memset(desktopDir, 0, sizeof desktopDir);
    if (!actions.findDesktop(desktopDir)) {
        return false;
    }
    if (!AppendText(desktopDir, "\\")) {
        ReportFailure("find the desktop", desktopDir, "path too long");
        return false;
    }
    for (const InstallEntry& entry : entries) {
        if (entry.kind != Shortcut) {
            continue;
        }
        char target[TARGET_PATH_CAPACITY];
        char linkPath[LINK_PATH_CAPACITY];
        if (ComposeLinkTarget(target, installDir, entry.path) &&
            ComposeLinkPath(linkPath, desktopDir, entry.local)) {
            actions.createShortcut(target, linkPath);
        } else {
            ReportFailure("create link", entry.local, REFUSED_PATH_REASON);
        }
    }
    return true;
}

bool RunLaunchPass(const EntryList& entries, const char* installDir,
                   const std::function<void(const char* launchPath)>& open) {
    for (const InstallEntry& entry : entries) {
        if (entry.kind != Launch) {
            continue;
        }
        char launchPath[TARGET_PATH_CAPACITY];
        if (ComposeLaunchPath(launchPath, installDir, entry.path)) {
            open(launchPath);
        } else {
            ReportFailure("launch", entry.path, REFUSED_PATH_REASON);
        }
    }
    return true;
}

}  // namespace tessaly
