// Step 3 of the install: the file index.
#pragma once

#include "package/byte_buffer.h"
#include "package/install_entry.h"

namespace tessaly {

// Clears the entry list, downloads "/FileList.txt" and fills the list from it. True when the index
// arrived and held at least one line (even if no line gave an entry); false also when its entries
// do not fit in memory. An installer built with a key takes only an index signed with it
// (LoadSignedFileList with BuiltInIndexTrust).
bool LoadFileList();

// Parses a downloaded index into `entries` (see ParseFileList); running out of memory is a false
// like any other unusable index, with the list left empty.
bool ReadFileListBody(ByteBuffer& body, EntryList& entries);

}  // namespace tessaly
