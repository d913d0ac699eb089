// The installer's requests to the package server, in one place: the installer makes them from
// these values, and tessaly-pack's verify repeats them to see a published package as installers
// will. Platform-free, so that both include it; the option numbers and flag bits are WinINet's.
#pragma once

#include <cstdint>

namespace tessaly {

// The user agent of every request.
constexpr char AGENT_TEXT[] = "ravavo";

// WinINet's numbers for the time-out options (INTERNET_OPTION_CONNECT_TIMEOUT and so on).
constexpr std::uint32_t CONNECT_TIMEOUT_OPTION = 2;
constexpr std::uint32_t SEND_TIMEOUT_OPTION = 5;
constexpr std::uint32_t RECEIVE_TIMEOUT_OPTION = 6;
constexpr std::uint32_t DATA_SEND_TIMEOUT_OPTION = 7;
constexpr std::uint32_t DATA_RECEIVE_TIMEOUT_OPTION = 8;

struct TimeoutSetting {
    std::uint32_t option;
    std::uint32_t milliseconds;
};

// In this order on every new session (and its request).
constexpr TimeoutSetting TIMEOUTS[] = {
    {CONNECT_TIMEOUT_OPTION, 2000},      {SEND_TIMEOUT_OPTION, 4000},
    {RECEIVE_TIMEOUT_OPTION, 4000},      {DATA_SEND_TIMEOUT_OPTION, 4000},
    {DATA_RECEIVE_TIMEOUT_OPTION, 4000},
};

// The milliseconds TIMEOUTS gives `option`; 0 for an option it does not set.
constexpr std::uint32_t TimeoutMilliseconds(std::uint32_t option) {
    for (const TimeoutSetting& timeout : TIMEOUTS) {
        if (timeout.option == option) {
            return timeout.milliseconds;
        }
    }
    return 0;
}

// INTERNET_FLAG_RELOAD (0x80000000: always from the server, never from a cache),
// INTERNET_FLAG_DONT_CACHE (0x04000000: the answer is not stored) and
// INTERNET_FLAG_TRANSFER_BINARY (0x00000002: the body byte for byte); nothing else.
constexpr std::uint32_t OPEN_FLAGS = 0x84000002;

// The path under which the server holds the index and every file it names, with both slashes.
// A literal, so that the installer can join it to the host chosen at build time.
#define TESSALY_PACKAGE_BASE_PATH "/AppData/"

// The index, as the installer asks for it relative to the package base, and its file name.
constexpr char INDEX_PATH[] = "/FileList.txt";
constexpr const char* INDEX_NAME = INDEX_PATH + 1;

}  // namespace tessaly
