// Release copy names and the object names of an index.
#include "pack/published_layout.h"

#include <algorithm>
#include <ctime>
#include <tuple>
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

std::string LiveMarkerName(const std::string& copy) {
    return copy + ".live";
}

std::map<std::string, std::int64_t> LiveTimes(const std::vector<ListedFile>& releases) {
    std::set<std::string> copies;
    std::int64_t published = 0;
    for (const ListedFile& file : releases) {
        if (ReadReleaseCopyName(file.name, published)) {
            copies.insert(file.name);
        }
    }
    const std::string suffix = LiveMarkerName("");
    std::map<std::string, std::int64_t> times;
    for (const ListedFile& file : releases) {
        const std::size_t base = file.name.size() - std::min(file.name.size(), suffix.size());
        const std::string copy = file.name.substr(0, base);
        if (file.name.compare(base, std::string::npos, suffix) == 0 && copies.count(copy) != 0) {
            times[copy] = file.modified;
        }
    }
    return times;
}

std::string ReusableCopy(const std::vector<ListedFile>& releases, std::uint64_t size,
                         const std::string& md5) {
    const std::map<std::string, std::int64_t> live = LiveTimes(releases);
    const auto last = std::max_element(live.begin(), live.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second, a.first) < std::tie(b.second, b.first);
    });
    for (const ListedFile& file : releases) {
        if (last != live.end() && file.name == last->first && file.size == size && !md5.empty() &&
            file.md5 == md5) {
            return file.name;
        }
    }
    return {};
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
