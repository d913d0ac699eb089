// Step 4 of the install: the download pass over the entry list, with the platform's actions: a
// file fetched and written, a folder created.
#include <windows.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/scoped_win.h"
#include "install/install_dir.h"
#include "install/installer_state.h"
#include "package/byte_buffer.h"
#include "package/download_files.h"
#include "package/entry_targets.h"
#include "package/fetch_url.h"
#include "package/install_passes.h"
#ifdef TESSALY_INDEX_KEYED
#include "package/signature_check.h"
#endif

namespace tessaly {

bool DownloadFiles() {
    const InstallerState& state = State();
    return RunDownloadPass(state.entries, state.installDir, {DownloadToFile, EnsureDirectory});
}

bool DownloadToFile(const char* path, const char* local) {
    char filePath[FILE_PATH_CAPACITY];
    std::u16string wideFilePath;
    if (!ComposeFilePath(filePath, State().installDir, local) ||
        !WidePath(filePath, wideFilePath)) {
        ReportFailure("write file", local, REFUSED_PATH_REASON);
        return false;
    }
#ifdef TESSALY_INDEX_KEYED
    // An installer built with a key takes only files named by the SHA-256 of their bytes, and
    // checks each body against its name before anything of it is written.
    Sha256Digest named;
    if (!ContentAddressDigest(path, named)) {
        ReportFailure("download", path, "not named by the SHA-256 of its content");
        return false;
    }
#endif
    ByteBuffer body;
    if (!FetchUrl(path, body)) {
        return false;
    }
#ifdef TESSALY_INDEX_KEYED
    if (!BodyMatchesName(body, named)) {
        ReportFailure("download", path, "content does not match its SHA-256 name");
        return false;
    }
#endif
    // One WriteFile takes at most 4 GiB; a larger body cannot be written whole.
    const DWORD size = static_cast<DWORD>(body.size());
    if (size != body.size()) {
        ReportFailure("write file", filePath, "larger than 4 GiB");
        return false;
    }
    const ScopedKernelHandle file(CreateFileW(AsWide(wideFilePath), GENERIC_WRITE, FILE_SHARE_READ,
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

}  // namespace tessaly
