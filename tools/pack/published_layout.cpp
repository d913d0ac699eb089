// Release copy names and the object names of an index.
#include "pack/published_layout.h"

#include <ctime>
#include <set>

#include "format/content_address.h"
#include "format/index_text.h"
#include "pack/index_writer.h"

namespace tessaly::pack {

std::string ReleaseCopyName(std::int64_t published) {
    const std::time_t time = static_cast<std::time_t>(published);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return std::string(text) + "-" + INDEX_NAME;
}

bool ReadReleaseCopyName(const std::string& name, std::int64_t& published) {
    std::tm utc{};
    const char* end = strptime(name.c_str(), "%Y%m%dT%H%M%SZ-", &utc);
    // strptime takes fewer digits than the 17 characters a name begins with: count them.
    if (end == nullptr || std::string(end) != INDEX_NAME || end - name.c_str() != 17) {
        return false;
    }
    published = timegm(&utc);
    return true;
}

bool ObjectNames(const std::string& index, std::vector<std::string>& names, std::string& error) {
    names.clear();
    std::set<std::string> seen;
    const std::string prefix = std::string(OBJECT_FOLDER) + "/";
    for (const IndexLine& line : ReadIndexLines(index).lines) {
        if (line.verdict != LineVerdict::Entry || line.entry.kind != Download) {
            continue;
        }
        // The content address as the installer reads it, in the one place build puts objects.
        const std::string path = line.entry.path;
        Sha256Digest digest;
        const std::string name =
            ContentAddressDigest(path.c_str(), digest) ? HexText(digest, SHA256_SIZE) : "";
        if (name.empty() || path != prefix + name) {
            error = std::to_string(line.number) + ": " + path +
                    ": not objects/<sha256>, as tessaly-pack build names files; only such "
                    "objects can be published without ever being overwritten";
            return false;
        }
        if (seen.insert(name).second) {
            names.push_back(name);
        }
    }
    return true;
}

}  // namespace tessaly::pack
