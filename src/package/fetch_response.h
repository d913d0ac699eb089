// Whether a response that FetchUrl received may count as the resource: judged from what the
// server announced (status, Content-Length) and how many body bytes arrived.
#pragma once

#include <cstdint>

namespace tessaly {

// The parts of a response's head that decide its fate.
struct ResponseHead {
    unsigned long status = 0;         // the final status, after redirects; 0 when unknown
    bool hasLength = false;           // the server sent a Content-Length
    std::uint64_t contentLength = 0;  // its value when hasLength
};

// Reads a Content-Length header value: decimal digits only, optional surrounding blanks, no
// overflow. False (and `length` untouched) for anything else.
bool ParseContentLength(const char* text, std::uint64_t& length);

// Only a 2xx answer is worth reading: an error page must never become a file.
bool StatusAccepted(const ResponseHead& head);

// A body read to its end counts when the status was accepted, at least one byte arrived, and
// no fewer and no more bytes than announced arrived (a connection closed early reads like a
// normal end of body).
bool BodyComplete(const ResponseHead& head, std::uint64_t received);

}  // namespace tessaly
