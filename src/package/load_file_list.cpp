// Downloads the file index and turns it into the installer's entry list.
#include "package/load_file_list.h"

#include <new>

#include "common/failure_report.h"
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
    return ReadFileListBody(body, entries);
#endif
}

bool ReadFileListBody(ByteBuffer& body, EntryList& entries) {
    try {
        if (!ParseFileList(body, entries)) {
            ReportFailure("read the file index", INDEX_PATH, "no line before its first zero byte");
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        // An index whose entries do not fit in memory fails like any other unusable index.
        entries.clear();
        ReportFailure("read the file index", INDEX_PATH, "out of memory");
        return false;
    }
}

}  // namespace tessaly
