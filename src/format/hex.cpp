// Writing and reading lower-case hex.
#include "format/hex.h"

namespace tessaly {

int HexDigitValue(unsigned char byte) {
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    if (byte >= 'a' && byte <= 'f') {
        return byte - 'a' + 10;
    }
    return -1;  // upper-case digits are refused: the format has one spelling
}

void WriteHex(const unsigned char* bytes, std::size_t size, char* out) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = DIGITS[bytes[i] >> 4];
        out[2 * i + 1] = DIGITS[bytes[i] & 0x0f];
    }
    out[2 * size] = '\0';
}

std::string HexText(const unsigned char* bytes, std::size_t size) {
    std::string hex(2 * size + 1, '\0');
    WriteHex(bytes, size, hex.data());
    hex.pop_back();
    return hex;
}

bool ReadHex(const char* hex, std::size_t count, unsigned char* bytes) {
    for (std::size_t i = 0; i < count; ++i) {
        const int high = HexDigitValue(static_cast<unsigned char>(hex[2 * i]));
        const int low = high < 0 ? -1 : HexDigitValue(static_cast<unsigned char>(hex[2 * i + 1]));
        if (low < 0) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

}  // namespace tessaly
