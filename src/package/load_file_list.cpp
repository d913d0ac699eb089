// Downloads the file index and turns it into the installer's entry list.
#include "package/load_file_list.h"

#include <new>

#include "common/failure_report.h"
#include "format/file_list.h"
#include "package/wire_protocol.h"

namespace tessaly {

bool LoadFileListFrom(const PackageFetch& fetch, EntryList& entries) {
    entries.clear();  // first, so that a failed load leaves the list empty
    ByteBuffer body;
    if (!fetch(INDEX_PATH, body)) {
        return false;
    }
    return ReadFileListBody(body, entries);
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
