// Step 3 of the install: the file index.
#pragma once

namespace tessaly {

// Clears the entry list, downloads "/FileList.txt" and fills the list from it. True when the index
// arrived and held at least one line (even if no line gave an entry); false also when its entries
// do not fit in memory.
bool LoadFileList();

}  // namespace tessaly
