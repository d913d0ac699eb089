// Code page 936 conversion through glibc's iconv.
#include "pack/cp936.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace tessaly::pack {

namespace {

constexpr std::size_t CONVERT_CHUNK_SIZE = 256;  // converted bytes taken out of iconv at a time

// Converts the whole of `input`; any invalid or unconvertible sequence fails the conversion.
bool Convert(const char* to, const char* from, const std::string& input, std::string& output) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    output.clear();
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    bool ok = true;
    while (inLeft > 0) {
        char chunk[CONVERT_CHUNK_SIZE];
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        output.append(chunk, out);
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(converter);
    return ok;
}

}  // namespace

bool Utf8ToCp936(const std::string& utf8, std::string& cp936) {
    return Convert("CP936", "UTF-8", utf8, cp936);
}

bool Cp936ToUtf8(const std::string& cp936, std::string& utf8) {
    return Convert("UTF-8", "CP936", cp936, utf8);
}

std::string Cp936ForDisplay(const std::string& cp936) {
    std::string utf8;
    if (Cp936ToUtf8(cp936, utf8)) {
        return utf8;
    }
    std::string shown;
    for (const char c : cp936) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            shown += c;
        } else {
            char escaped[sizeof "\\xFF"];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string Quoted(const std::string& cp936) {
    return "\"" + Cp936ForDisplay(cp936) + "\"";
}

std::size_t FindTrailByte(const std::string& cp936, char trail) {
    for (std::size_t i = 0; i < cp936.size(); ++i) {
        if (IsCp936LeadByte(static_cast<unsigned char>(cp936[i])) && i + 1 < cp936.size()) {
            if (cp936[i + 1] == trail) {
                return i;
            }
            ++i;
        }
    }
    return std::string::npos;
}

std::size_t Cp936CharacterCount(const std::string& cp936) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < cp936.size(); ++i, ++count) {
        if (IsCp936LeadByte(static_cast<unsigned char>(cp936[i])) && i + 1 < cp936.size()) {
            ++i;
        }
    }
    return count;
}

}  // namespace tessaly::pack
