// The signed file index of an installer built with a key. It lives apart from LoadFileList so that
// an installer built without a key links none of it.
#include "package/signed_file_list.h"

#include "common/failure_report.h"
#include "package/load_file_list.h"
#include "package/wire_protocol.h"

namespace tessaly {

bool LoadSignedFileList(const PackageFetch& fetch, const IndexTrust& trust, EntryList& entries) {
    entries.clear();  // first, so that a refused index leaves the list empty
    ByteBuffer body;
    if (!fetch(INDEX_PATH, body)) {
        return false;
    }
    std::size_t signedLength = 0;
    const SignatureVerdict verdict =
        CheckIndexSignature(body.data(), body.size(), trust.keys, trust.keyCount, trust.now,
                            trust.crypto, signedLength);
    if (verdict != SignatureVerdict::Good) {
        ReportFailure("check the file index signature", INDEX_PATH, SignatureVerdictText(verdict));
        return false;
    }
    body.resize(signedLength);  // the parser reads exactly the bytes that were signed
    return ReadFileListBody(body, entries);
}

}  // namespace tessaly
