// Step 3 of the install with the platform's services: the fetch through WinINet and, in an
// installer built with a key, the built-in key, the clock and CNG.
#include "package/fetch_url_win.h"
#include "package/load_file_list.h"
#include "package/load_file_list_win.h"
#ifdef TESSALY_INDEX_KEYED
#include "package/signature_check_win.h"
#include "package/signed_file_list.h"
#endif

namespace tessaly {

bool LoadFileList(InstallContext& context) {
#ifdef TESSALY_INDEX_KEYED
    return LoadSignedFileList(FetchUrl, BuiltInIndexTrust(), context.entries);
#else
    return LoadFileListFrom(FetchUrl, context.entries);
#endif
}

}  // namespace tessaly
