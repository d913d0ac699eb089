// Step 3 of the install: the file index.
#pragma once

#include <functional>

#include "format/byte_buffer.h"
#include "format/install_entry.h"

namespace tessaly {

// Downloads a path relative to the package base into the empty `buffer`, as FetchUrl does; handed
// in, so that the rules of this step need no network layer.
using PackageFetch = std::function<bool(const char* relativePath, ByteBuffer& buffer)>;

// Clears `entries`, downloads "/FileList.txt" with `fetch` and fills the list from it. True when
// the index arrived and held at least one line (even if no line gave an entry); false also when its
// entries do not fit in memory.
bool LoadFileListFrom(const PackageFetch& fetch, EntryList& entries);

// Parses a downloaded index into `entries` (see ParseFileList); running out of memory is a false
// like any other unusable index, with the list left empty.
bool ReadFileListBody(ByteBuffer& body, EntryList& entries);

}  // namespace tessaly
