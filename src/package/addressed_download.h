// The download of one file by an installer built with a key: its server path must end in the
// SHA-256 of its content, and a target that holds that content already is kept as it is, without a
// request, so that running the installer again fetches only what changed. The platform's calls
// are handed in.
#pragma once

#include <functional>

#include "format/content_address.h"

namespace tessaly {

struct AddressedDownloadActions {
    // The SHA-256 of the file at `filePath`; false when it is missing or cannot be read.
    std::function<bool(const char* filePath, Sha256Digest& digest)> hashFile;
    // Fetches the server path `path`, checks its body against `named` and writes it to `filePath`.
    std::function<bool(const char* path, const char* filePath, const Sha256Digest& named)> download;
};

// False, with a failure line, when `path` is not named by a SHA-256; true without a download when
// the file at `filePath` hashes to that name; the download's outcome otherwise (a target that
// differs, is missing or cannot be read is downloaded).
bool DownloadAddressedFile(const char* path, const char* filePath,
                           const AddressedDownloadActions& actions);

}  // namespace tessaly
