// Skipping what is installed already, for an installer built with a key.
#include "package/addressed_download.h"

#include <cstring>

#include "common/failure_report.h"

namespace tessaly {

bool DownloadAddressedFile(const char* path, const char* filePath,
                           const AddressedDownloadActions& actions) {
    Sha256Digest named;
    if (!ContentAddressDigest(path, named)) {
        ReportFailure("download", path, "not named by the SHA-256 of its content");
        return false;
    }
    Sha256Digest installed;
    if (actions.hashFile(filePath, installed) && std::memcmp(installed, named, SHA256_SIZE) == 0) {
        return true;
    }
    return actions.download(path, filePath, named);
}

}  // namespace tessaly
