// Downloads the file index and turns it into the installer's entry list.
#include "package/load_file_list.h"

#include <new>

#include "install/installer_state.h"
#include "package/fetch_url.h"
#include "package/file_list.h"
#include "package/wire_protocol.h"

namespace tessaly {

bool LoadFileList() {
    EntryList& entries = State().entries;
    entries.clear();  // first, so that a failed load leaves the list empty
    ByteBuffer body;
    if (!FetchUrl(INDEX_PATH, body)) {
        return false;
    }
    try {
        return ParseFileList(body, entries);
    } catch (const std::bad_alloc&) {
        // An index whose entries do not fit in memory fails like any other unusable index.
        entries.clear();
        return false;
    }
}

}  // namespace tessaly
