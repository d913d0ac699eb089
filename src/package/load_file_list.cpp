// Downloads the file index and turns it into the installer's entry list.
#include "package/load_file_list.h"

#include "install/installer_state.h"
#include "package/fetch_url.h"
#include "package/file_list.h"
#include "package/wire_protocol.h"
#ifdef TESSALY_INDEX_KEYED
#include "package/signature_check.h"
#include "package/signed_file_list.h"
#endif

namespace tessaly {

bool LoadFileList() {
#ifdef TESSALY_INDEX_KEYED
    return LoadSignedFileList(BuiltInIndexTrust());
#else
    EntryList& entries = State().entries;
    entries.clear();  // first, so that a failed load leaves the list empty
    ByteBuffer body;
    if (!FetchUrl(INDEX_PATH, body)) {
        return false;
    }
    return ParseFileList(body, entries);
#endif
}

}  // namespace tessaly
