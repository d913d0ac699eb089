// Step 4 of the install: the download pass over the entry list, with the platform's actions: a
// file fetched and written, a folder created.
#include <windows.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/scoped_win.h"
#include "format/byte_buffer.h"
#include "package/download_files_win.h"
#include "package/ensure_directory_win.h"
#include "package/entry_targets.h"
#include "package/fetch_url_win.h"
#include "package/install_passes.h"
#ifdef TESSALY_INDEX_KEYED
#include "package/addressed_download.h"
#include "package/signature_check_win.h"
#endif

namespace tessaly {

namespace {

// Writes `body` to `filePath`, replacing a file that is there.
bool WriteBody(const char* filePath, const ByteBuffer& body, const InstallContext& context) {
    // One WriteFile takes at most 4 GiB; a larger body cannot be written whole.
    const DWORD size = static_cast<DWORD>(body.size());
    if (size != body.size()) {
        ReportFailure("write file", filePath, "larger than 4 GiB");
        return false;
    }
    std::u16string widePath;
    if (!WidePath(filePath, context, widePath)) {
        ReportFailure("write file", filePath, REFUSED_PATH_REASON);
        return false;
    }
    const ScopedKernelHandle file(CreateFileW(AsWide(widePath), GENERIC_WRITE, FILE_SHARE_READ,
                                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
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

#ifdef TESSALY_INDEX_KEYED
// An installer built with a key checks each body against its name before anything of it is
// written.
bool FetchMatchingBody(const char* path, const char* filePath, const Sha256Digest& named,
                       const InstallContext& context) {
    ByteBuffer body;
    if (!FetchUrl(path, body)) {
        return false;
    }
    if (!BodyMatchesName(body, named)) {
        ReportFailure("download", path, "content does not match its SHA-256 name");
        return false;
    }
    return WriteBody(filePath, body, context);
}
#endif

}  // namespace

bool DownloadFiles(const InstallContext& context) {
    return RunDownloadPass(
        context.entries, context.installDir,
        {[&context](const char* path, const char* local) {
             return DownloadToFile(path, local, context);
         },
         [&context](const char* folderPath) { return EnsureDirectory(folderPath, context); }});
}

bool DownloadToFile(const char* path, const char* local, const InstallContext& context) {
    // The path must also reach Windows as UTF-16: a name that is not code page 936 is refused
    // before anything is fetched.
    char filePath[FILE_PATH_CAPACITY];
    std::u16string widePath;
    if (!ComposeFilePath(filePath, context.installDir, local) ||
        !WidePath(filePath, context, widePath)) {
        ReportFailure("write file", local, REFUSED_PATH_REASON);
        return false;
    }
#ifdef TESSALY_INDEX_KEYED
    // It takes only files named by the SHA-256 of their bytes, and keeps a target that holds
    // those bytes already.
    return DownloadAddressedFile(
        path, filePath,
        {[&context](const char* target, Sha256Digest& digest) {
             return Sha256OfFile(target, context, digest);
         },
         [&context](const char* fetched, const char* target, const Sha256Digest& named) {
             return FetchMatchingBody(fetched, target, named, context);
         }});
#else
    ByteBuffer body;
    return FetchUrl(path, body) && WriteBody(filePath, body, context);
#endif
}

}  // namespace tessaly
