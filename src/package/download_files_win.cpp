// Step 4 of the install: downloads every Download entry into the install directory and creates
// every Folder entry there, in index order, stopping at the first failure.
#include <windows.h>

#include "common/failure_report.h"
#include "install/install_dir.h"
#include "install/installer_state.h"
#include "package/byte_buffer.h"
#include "package/download_files.h"
#include "package/entry_targets.h"
#include "package/fetch_url.h"
#ifdef TESSALY_INDEX_KEYED
#include "package/signature_check.h"
#endif

namespace tessaly {

namespace {

class ScopedFileHandle {
  public:
    explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedFileHandle() {
        if (IsValid()) {
            CloseHandle(handle_);
        }
    }
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

bool CreateFolder(const char* path) {
    char folderPath[kFolderPathCapacity];
    if (!ComposeFolderPath(folderPath, State().installDir, path)) {
        ReportFailure("create folder", path, kRefusedPathReason);
        return false;
    }
    return EnsureDirectory(folderPath);
}

}  // namespace

bool DownloadFiles() {
    const EntryList& entries = State().entries;
    if (entries.empty()) {
        ReportFailure("download files", "the file index", "no entries");
        return false;
    }
    for (const InstallEntry& entry : entries) {
        if (entry.kind == Download && !DownloadToFile(entry.path, entry.local)) {
            return false;
        }
        if (entry.kind == Folder && !CreateFolder(entry.path)) {
            return false;
        }
    }
    return true;
}

bool DownloadToFile(const char* path, const char* local) {
    // The target is checked before the download, so a refused one costs no traffic.
    char filePath[kFilePathCapacity];
    if (!ComposeFilePath(filePath, State().installDir, local)) {
        ReportFailure("write file", local, kRefusedPathReason);
        return false;
    }
#ifdef TESSALY_INDEX_KEYED
    // An installer built with a key takes only files named by the SHA-256 of their bytes, and
    // checks each body against its name before anything of it is written.
    Sha256Digest named;
    if (!ContentAddressDigest(path, named)) {
        return false;
    }
#endif
    ByteBuffer body;
    if (!FetchUrl(path, body)) {
        return false;
    }
#ifdef TESSALY_INDEX_KEYED
    if (!BodyMatchesName(body, named)) {
        return false;
    }
#endif
    // One WriteFile takes at most 4 GiB; a larger body cannot be written whole.
    const DWORD size = static_cast<DWORD>(body.size());
    if (size != body.size()) {
        ReportFailure("write file", filePath, "larger than 4 GiB");
        return false;
    }
    const ScopedFileHandle file(CreateFileA(filePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        ReportError("create file", filePath, GetLastError());
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), body.data(), size, &written, nullptr)) {
        ReportError("write file", filePath, GetLastError());
    }
    return written == size;
}

}  // namespace tessaly
