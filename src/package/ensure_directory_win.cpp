// Making a folder and proving with a directory search that it is there, through the wide
// functions: the install directory itself and every Folder entry of the index.
#include "package/ensure_directory_win.h"

#include "common/failure_report.h"
#include "common/scoped_win.h"

namespace tessaly {

bool EnsureDirectory(const char* path, const InstallContext& context) {
    // The pattern is composed first, so a path too long to verify is refused before anything is
    // created.
    char pattern[SEARCH_PATTERN_CAPACITY];
    if (!ComposeSearchPattern(pattern, path)) {
        ReportFailure("create folder", path, "path too long");
        return false;
    }
    std::u16string widePath;
    std::u16string widePattern;
    if (!WidePath(path, context, widePath) || !WidePath(pattern, context, widePattern)) {
        ReportFailure("create folder", path, NOT_CODE_PAGE_936_REASON);
        return false;
    }
    // An existing directory is fine; the search decides. Why the creation failed, if it did, is
    // what a failed search is reported with.
    const DWORD createError =
        CreateDirectoryW(AsWide(widePath), nullptr) ? ERROR_SUCCESS : GetLastError();
    WIN32_FIND_DATAW found;
    const ScopedFindHandle search(FindFirstFileW(AsWide(widePattern), &found));
    if (!search.IsValid()) {
        ReportError("create folder", path,
                    createError != ERROR_SUCCESS ? createError : GetLastError());
        return false;
    }
    return true;
}

}  // namespace tessaly
