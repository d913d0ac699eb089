// URL reading and the installer-like GET, over cpp-httplib.
#include "pack/http_fetch.h"

#include <httplib.h>

#include <cctype>
#include <chrono>

#include "pack/command.h"
#include "package/wire_protocol.h"

namespace tessaly::pack {

bool ParseHttpUrl(const std::string& url, HttpUrl& parsed, std::string& error) {
    parsed = HttpUrl{};
    const std::string scheme = "http://";
    std::string lower = url.substr(0, scheme.size());
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower != scheme) {
        error = "only http:// URLs: the installer speaks plain HTTP";
        return false;
    }
    const std::size_t hostStart = scheme.size();
    const std::size_t pathStart = url.find('/', hostStart);
    const std::string authority = url.substr(hostStart, pathStart - hostStart);
    parsed.path = pathStart == std::string::npos ? "" : url.substr(pathStart);
    if (url.find_first_of("?#") != std::string::npos) {
        error = "a package URL has no query or fragment";
        return false;
    }
    const std::size_t colon = authority.find(':');
    parsed.host = authority.substr(0, colon);
    if (parsed.host.empty() || parsed.host.find_first_not_of(
                                   "abcdefghijklmnopqrstuvwxyz"
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") != std::string::npos) {
        error = "expected http://HOST[:PORT][/PATH], with a host name or IPv4 address";
        return false;
    }
    if (colon != std::string::npos) {
        std::uint64_t port = 0;
        if (!ReadNumber(authority.substr(colon + 1), 65535, port) || port == 0) {
            error = "the port must be a number from 1 to 65535";
            return false;
        }
        parsed.port = static_cast<int>(port);
    }
    return true;
}

std::string Origin(const HttpUrl& url) {
    std::string origin = "http://" + url.host;
    if (url.port != 80) {
        origin += ":" + std::to_string(url.port);
    }
    return origin;
}

std::string PackageBase(const HttpUrl& url) {
    if (url.path.empty() || url.path == "/") {
        return Origin(url) + TESSALY_PACKAGE_BASE_PATH;
    }
    return Origin(url) + url.path + (url.path.back() == '/' ? "" : "/");
}

namespace {

HttpAnswer Fetch(const std::string& method, const std::string& url, bool followRedirects) {
    HttpAnswer answer;
    HttpUrl parsed;
    if (!ParseHttpUrl(url, parsed, answer.error)) {
        return answer;
    }
    httplib::Client client(parsed.host, parsed.port);
    // WinINet's send time-outs bound every write of the request, its receive time-outs every read
    // of the answer.
    using std::chrono::milliseconds;
    client.set_connection_timeout(milliseconds(TimeoutMilliseconds(CONNECT_TIMEOUT_OPTION)));
    client.set_write_timeout(milliseconds(TimeoutMilliseconds(DATA_SEND_TIMEOUT_OPTION)));
    client.set_read_timeout(milliseconds(TimeoutMilliseconds(DATA_RECEIVE_TIMEOUT_OPTION)));
    client.set_follow_location(followRedirects);
    client.set_url_encode(false);
    client.set_keep_alive(false);
    // The installer asks for no encoding and keeps the body as it arrives; so does this.
    client.set_decompress(false);
    // No cache on the way may answer for the server: the installer never takes a cached copy.
    const httplib::Headers headers = {
        {"User-Agent", AGENT_TEXT},
        {"Cache-Control", "no-cache"},
        {"Pragma", "no-cache"},
    };
    const std::string path = parsed.path.empty() ? "/" : parsed.path;
    const httplib::Result result =
        method == "HEAD" ? client.Head(path, headers) : client.Get(path, headers);
    if (!result) {
        answer.error = httplib::to_string(result.error());
        return answer;
    }
    answer.answered = true;
    answer.head.status = static_cast<unsigned long>(result->status);
    if (result->has_header("Content-Length")) {
        answer.head.hasLength = ParseContentLength(
            result->get_header_value("Content-Length").c_str(), answer.head.contentLength);
    }
    for (const auto& [name, value] : result->headers) {
        std::string lower = name;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        answer.headers[lower] = value;
    }
    answer.body = result->body;
    return answer;
}

}  // namespace

HttpAnswer FetchLikeInstaller(const std::string& url) {
    return Fetch("GET", url, true);
}

HttpAnswer FetchWithoutRedirect(const std::string& method, const std::string& url) {
    return Fetch(method, url, false);
}

}  // namespace tessaly::pack
