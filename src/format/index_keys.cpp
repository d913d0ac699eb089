// Key ids, the P-256 key check and dates.
#include "format/index_keys.h"

#include <cstring>

namespace tessaly {

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = year / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ReadDigits(const char* text, std::size_t count, unsigned& value) {
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

}  // namespace

bool IsP256PublicKeyInfo(const unsigned char* der, std::size_t size) {
    constexpr std::size_t PREFIX_SIZE = (sizeof P256_SPKI_PREFIX_HEX - 1) / 2;
    unsigned char prefix[PREFIX_SIZE];
    ReadHex(P256_SPKI_PREFIX_HEX, PREFIX_SIZE, prefix);
    return size == P256_SPKI_SIZE && std::memcmp(der, prefix, PREFIX_SIZE) == 0;
}

void WriteKeyId(const Sha256Digest& spkiDigest, char (&keyId)[KEY_ID_LENGTH + 1]) {
    char hex[SHA256_HEX_LENGTH + 1];
    WriteHex(spkiDigest, SHA256_SIZE, hex);
    std::memcpy(keyId, hex, KEY_ID_LENGTH);
    keyId[KEY_ID_LENGTH] = '\0';
}

bool ReadUtcDate(const char* text, std::uint64_t& dayStart) {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    if (std::strlen(text) != 10 || text[4] != '-' || text[7] != '-' || !ReadDigits(text, 4, year) ||
        !ReadDigits(text + 5, 2, month) || !ReadDigits(text + 8, 2, day)) {
        return false;
    }
    static constexpr unsigned MONTH_DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (year < 1970 || month < 1 || month > 12 || day < 1 ||
        day > MONTH_DAYS[month - 1] + (month == 2 && leap)) {
        return false;
    }
    dayStart = static_cast<std::uint64_t>(DaysFromCivil(year, month, day)) * SECONDS_PER_DAY;
    return true;
}

}  // namespace tessaly
