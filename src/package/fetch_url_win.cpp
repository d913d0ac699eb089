// FetchUrl through WinINet: one session, one connection and one GET per call.
//
// The request is what InternetOpenUrlA would send for the URL, but built from its parts
// (InternetConnectA, HttpOpenRequestA, HttpSendRequestA) so that the time-outs can be set on the
// request before it goes out: Wine's WinINet ignores the session's time-outs, and on Windows
// the request inherits them anyway.
#include <windows.h>
#include <wininet.h>

#include <exception>

#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "common/scoped_win.h"
#include "package/fetch_response.h"
#include "package/fetch_url_win.h"
#include "package/package_url.h"
#include "package/wire_protocol.h"

namespace tessaly {
namespace {

// The shared values are WinINet's own.
static_assert(CONNECT_TIMEOUT_OPTION == INTERNET_OPTION_CONNECT_TIMEOUT &&
              SEND_TIMEOUT_OPTION == INTERNET_OPTION_SEND_TIMEOUT &&
              RECEIVE_TIMEOUT_OPTION == INTERNET_OPTION_RECEIVE_TIMEOUT &&
              DATA_SEND_TIMEOUT_OPTION == INTERNET_OPTION_DATA_SEND_TIMEOUT &&
              DATA_RECEIVE_TIMEOUT_OPTION == INTERNET_OPTION_DATA_RECEIVE_TIMEOUT);
static_assert(OPEN_FLAGS ==
              (INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY));
constexpr DWORD_PTR REQUEST_CONTEXT = 1;
constexpr DWORD READ_CHUNK_SIZE = 4096;
constexpr std::size_t CONTENT_LENGTH_TEXT_CAPACITY = 32;

void SetTimeouts(HINTERNET handle) {
    for (const TimeoutSetting& timeout : TIMEOUTS) {
        DWORD value = timeout.milliseconds;
        InternetSetOptionA(handle, timeout.option, &value, sizeof value);
    }
}

// The URL's host, port and object (path and query), as InternetOpenUrlA would use them.
struct UrlParts {
    char host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
    char object[URL_CAPACITY] = {};
    INTERNET_PORT port = 0;
};

bool CrackUrl(const char* url, UrlParts& parts) {
    char path[URL_CAPACITY] = {};
    char extra[URL_CAPACITY] = {};
    URL_COMPONENTSA components = {};
    components.dwStructSize = sizeof components;
    components.lpszHostName = parts.host;
    components.dwHostNameLength = sizeof parts.host;
    components.lpszUrlPath = path;
    components.dwUrlPathLength = sizeof path;
    components.lpszExtraInfo = extra;
    components.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &components)) {
        return false;
    }
    parts.port = components.nPort;
    return ComposeText(parts.object, {path, extra});
}

ResponseHead QueryHead(HINTERNET request) {
    ResponseHead head;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr)) {
        head.status = status;
    }
    // As text: a length above 4 GiB does not fit the numeric query's DWORD.
    char length[CONTENT_LENGTH_TEXT_CAPACITY] = {};
    size = sizeof length;
    if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
        head.hasLength = ParseContentLength(length, head.contentLength);
    }
    return head;
}

// Sizes the buffer once for the announced body and its tail; a length that cannot be reserved
// only means the buffer grows as the body arrives.
void ReserveFor(const ResponseHead& head, ByteBuffer& buffer) {
    if (!head.hasLength ||
        head.contentLength > buffer.max_size() - buffer.size() - BODY_TAIL_BYTES) {
        return;
    }
    try {
        buffer.reserve(buffer.size() + static_cast<std::size_t>(head.contentLength) +
                       BODY_TAIL_BYTES);
    } catch (const std::exception&) {
        // Not enough memory in one block: the body may still fit as it grows.
    }
}

// Reads the body to its end; false on a transfer error or time-out.
bool ReadBody(HINTERNET request, ByteBuffer& buffer) {
    unsigned char chunk[READ_CHUNK_SIZE];
    for (;;) {
        DWORD count = 0;
        if (!InternetReadFile(request, chunk, READ_CHUNK_SIZE, &count)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        buffer.insert(buffer.end(), chunk, chunk + count);
    }
}

bool Fetch(const char* url, ByteBuffer& buffer) {
    const ScopedInternetHandle session(
        InternetOpenA(AGENT_TEXT, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.IsValid()) {
        ReportError("download", url, GetLastError());
        return false;
    }
    SetTimeouts(session.Get());

    UrlParts parts;
    if (!CrackUrl(url, parts)) {
        ReportFailure("download", url, "URL not understood");
        return false;
    }
    const ScopedInternetHandle connection(InternetConnectA(session.Get(), parts.host, parts.port,
                                                           nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                                           0, REQUEST_CONTEXT));
    if (!connection.IsValid()) {
        ReportError("download", url, GetLastError());
        return false;
    }
    const char* acceptTypes[] = {"*/*", nullptr};
    const ScopedInternetHandle request(HttpOpenRequestA(connection.Get(), "GET", parts.object,
                                                        nullptr, nullptr, acceptTypes, OPEN_FLAGS,
                                                        REQUEST_CONTEXT));
    if (!request.IsValid()) {
        ReportError("download", url, GetLastError());
        return false;
    }
    SetTimeouts(request.Get());
    if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        ReportError("download", url, GetLastError());
        return false;
    }

    const ResponseHead head = QueryHead(request.Get());
    if (!StatusAccepted(head)) {
        ReportFailure("download", url, "HTTP status", head.status);
        return false;
    }
    ReserveFor(head, buffer);
    const std::size_t before = buffer.size();
    if (!ReadBody(request.Get(), buffer)) {
        ReportError("download", url, GetLastError());
        return false;
    }
    if (!BodyComplete(head, buffer.size() - before)) {
        ReportFailure("download", url, "incomplete body, bytes received", buffer.size() - before);
        return false;
    }
    return true;
}

}  // namespace

bool FetchUrl(const char* relativePath, ByteBuffer& buffer) {
    char url[URL_CAPACITY];
    bool complete = false;
    try {
        if (!ComposePackageUrl(PackageBaseUrl, relativePath, url)) {
            ReportFailure("download", relativePath, "URL too long");
        } else {
            complete = Fetch(url, buffer);
        }
    } catch (...) {
        // Out of memory while the buffer grew, or anything else: the result is false.
        ReportFailure("download", relativePath, "out of memory or another exception");
        complete = false;
    }
    if (!complete) {
        // Emptied, and its memory given back: a failure keeps no part of a body.
        ByteBuffer().swap(buffer);
    }
    return complete;
}

}  // namespace tessaly
