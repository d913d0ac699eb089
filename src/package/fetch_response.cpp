// Judging a fetched response.
#include "package/fetch_response.h"

#include <limits>

namespace tessaly {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool ParseContentLength(const char* text, std::uint64_t& length) {
    while (IsBlank(*text)) {
        ++text;
    }
    if (*text < '0' || *text > '9') {
        return false;
    }
    std::uint64_t value = 0;
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (value > (MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    while (IsBlank(*text)) {
        ++text;
    }
    if (*text != '\0') {
        return false;
    }
    length = value;
    return true;
}

bool StatusAccepted(const ResponseHead& head) {
    return head.status >= 200 && head.status <= 299;
}

bool BodyComplete(const ResponseHead& head, std::uint64_t received) {
    return StatusAccepted(head) && received > 0 &&
           (!head.hasLength || received == head.contentLength);
}

}  // namespace tessaly
