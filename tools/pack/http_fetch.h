// Plain HTTP as the installer speaks it: the package URL it is given, and one GET made the way it
// makes them.
#pragma once

#include <map>
#include <string>

#include "package/fetch_response.h"

namespace tessaly::pack {

struct HttpUrl {
    std::string host;
    int port = 80;
    std::string path;  // begins with "/" when not empty
};

// Reads "http://host[:port][/path]". False, with `error` set, for any other scheme, user
// information, a query or a fragment.
bool ParseHttpUrl(const std::string& url, HttpUrl& parsed, std::string& error);

// "http://host" or "http://host:port".
std::string Origin(const HttpUrl& url);

// The package base the installer would be built with for this URL, ending with "/": the URL's own
// path, or the installer's "/AppData/" when it names only the server.
std::string PackageBase(const HttpUrl& url);

struct HttpAnswer {
    bool answered = false;  // false: no HTTP answer at all (see `error`)
    ResponseHead head;      // the final status (after redirects) and the Content-Length
    std::string body;
    std::string error;
    std::map<std::string, std::string> headers;  // the final answer's, names in lower case
};

// One GET of `url` (from ParseHttpUrl's grammar) as the installer makes it
// (package/wire_protocol.h): its agent, no cache, the path sent as it is (no percent-encoding),
// redirects followed, its time-outs to connect and for each send and read, and the body kept as it
// arrives.
HttpAnswer FetchLikeInstaller(const std::string& url);

// One request of `method` (GET or HEAD) for `url`, as FetchLikeInstaller makes it but without
// following a redirect, so that the redirect itself is the answer.
HttpAnswer FetchWithoutRedirect(const std::string& method, const std::string& url);

}  // namespace tessaly::pack
