// Cache-Control, Expires and redirects as a CDN reads them, for the warnings of verify.
#include "pack/cache_report.h"

#include <cctype>
#include <ctime>
#include <sstream>

#include "format/index_text.h"
#include "pack/http_fetch.h"
#include "pack/index_writer.h"

namespace tessaly::pack {

namespace {

std::string Header(const std::map<std::string, std::string>& headers, const std::string& name) {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

// The value of `name=` in a Cache-Control header (directives compared without case); -1 when it is
// absent or not a number.
std::int64_t Directive(const std::string& cacheControl, const std::string& name, bool& present) {
    present = false;
    std::istringstream items(cacheControl);
    std::string item;
    while (std::getline(items, item, ',')) {
        const std::size_t start = item.find_first_not_of(" \t");
        const std::size_t end = item.find_last_not_of(" \t");
        if (start == std::string::npos) {
            continue;
        }
        item = item.substr(start, end - start + 1);
        const std::size_t equals = item.find('=');
        std::string key = item.substr(0, equals);
        for (char& c : key) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (key != name) {
            continue;
        }
        present = true;
        std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.empty() || value.size() > 12 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            return -1;
        }
        return std::stoll(value);
    }
    return -1;
}

bool HasDirective(const std::string& cacheControl, const std::string& name) {
    bool present = false;
    Directive(cacheControl, name, present);
    return present;
}

bool ReadHttpDate(const std::string& text, std::int64_t& seconds) {
    std::tm time{};
    if (strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &time) == nullptr) {
        return false;
    }
    seconds = timegm(&time);
    return true;
}

std::string Described(const std::map<std::string, std::string>& headers) {
    const std::string cacheControl = Header(headers, "cache-control");
    const std::string expires = Header(headers, "expires");
    if (cacheControl.empty() && expires.empty()) {
        return "no Cache-Control and no Expires";
    }
    return cacheControl.empty() ? "Expires: " + expires : "Cache-Control: " + cacheControl;
}

}  // namespace

std::int64_t SharedCacheLifetime(const std::map<std::string, std::string>& headers) {
    const std::string cacheControl = Header(headers, "cache-control");
    if (HasDirective(cacheControl, "no-store") || HasDirective(cacheControl, "no-cache") ||
        HasDirective(cacheControl, "private")) {
        return 0;
    }
    bool present = false;
    const std::int64_t sMaxAge = Directive(cacheControl, "s-maxage", present);
    if (present) {
        return sMaxAge < 0 ? 0 : sMaxAge;
    }
    const std::int64_t maxAge = Directive(cacheControl, "max-age", present);
    if (present) {
        return maxAge < 0 ? 0 : maxAge;
    }
    const std::string expires = Header(headers, "expires");
    if (expires.empty()) {
        return -1;
    }
    std::int64_t until = 0;
    std::int64_t date = static_cast<std::int64_t>(std::time(nullptr));
    // An Expires that does not read as a date means "already expired".
    if (!ReadHttpDate(expires, until)) {
        return 0;
    }
    ReadHttpDate(Header(headers, "date"), date);
    return until > date ? until - date : 0;
}

std::string JudgeIndexCaching(const std::map<std::string, std::string>& headers) {
    const std::int64_t lifetime = SharedCacheLifetime(headers);
    if (lifetime < 0) {
        return "FileList.txt has no Cache-Control and no Expires: a CDN then caches it by its own "
               "default rule, often for hours, and serves an old release; send Cache-Control: "
               "no-cache";
    }
    if (lifetime > INDEX_CACHE_LIMIT) {
        return "FileList.txt may be cached for " + std::to_string(lifetime) + " s (" +
               Described(headers) + "), more than 5 minutes: installers get the old release that " +
               "long; send Cache-Control: no-cache";
    }
    return {};
}

std::string JudgeObjectCaching(const std::map<std::string, std::string>& headers) {
    if (SharedCacheLifetime(headers) >= OBJECT_CACHE_MINIMUM) {
        return {};
    }
    return "objects are not long-cacheable (" + Described(headers) +
           "): their names change with their content, so send Cache-Control: public, "
           "max-age=31536000, immutable";
}

std::vector<std::string> CachingWarnings(const std::string& base) {
    std::vector<std::string> warnings;
    const std::string indexUrl = base + INDEX_NAME;
    const HttpAnswer index = FetchWithoutRedirect("GET", indexUrl);
    if (!index.answered) {
        return warnings;
    }
    const std::string location = Header(index.headers, "location");
    if (index.head.status >= 300 && index.head.status < 400) {
        if (location.compare(0, 8, "https://") == 0) {
            warnings.push_back(indexUrl + ": an http:// to https:// redirect (HTTP " +
                               std::to_string(index.head.status) + " to " + location +
                               "): WinINet may refuse to follow it, and the installer speaks "
                               "plain HTTP; serve the package over http:// without it");
        }
        return warnings;
    }
    if (index.head.status < 200 || index.head.status >= 300) {
        return warnings;
    }
    const std::string indexWarning = JudgeIndexCaching(index.headers);
    if (!indexWarning.empty()) {
        warnings.push_back(indexUrl + ": " + indexWarning);
    }
    for (const IndexLine& line : ReadIndexLines(index.body).lines) {
        if (line.verdict == LineVerdict::Entry && line.entry.kind == Download) {
            const std::string objectUrl = base + line.entry.path;
            const HttpAnswer object = FetchWithoutRedirect("HEAD", objectUrl);
            if (object.answered && object.head.status >= 200 && object.head.status < 300) {
                const std::string objectWarning = JudgeObjectCaching(object.headers);
                if (!objectWarning.empty()) {
                    warnings.push_back(objectUrl + ": " + objectWarning);
                }
            }
            break;
        }
    }
    return warnings;
}

}  // namespace tessaly::pack
