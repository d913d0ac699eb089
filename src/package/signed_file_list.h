// Step 3 of the install in an installer built with a key: the file index is read only when the
// publisher signed it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/index_signature.h"
#include "package/load_file_list.h"

namespace tessaly {

// What a signed index is judged by: the keys the installer holds (at least one of them must sign
// it), the time (UTC seconds since 1970) and the cryptography.
struct IndexTrust {
    const IndexKey* keys;
    std::size_t keyCount;
    std::uint64_t now;
    SignatureCrypto crypto;
};

// Clears `entries`, downloads "/FileList.txt" with `fetch` and, when CheckIndexSignature finds it
// good under `trust`, fills the list from its signed text (every byte before the signature line).
// False, with the list empty, when the index did not arrive, was refused, or held no line.
bool LoadSignedFileList(const PackageFetch& fetch, const IndexTrust& trust, EntryList& entries);

}  // namespace tessaly
