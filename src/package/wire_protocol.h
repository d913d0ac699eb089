// The installer's requests to the package server, in one place: the installer makes them from
// these values, and tessaly-pack's verify repeats them to see a published package as installers
// will. Platform-free, so that both include it; the option numbers and flag bits are WinINet's.
#pragma once

#include <cstdint>

namespace tessaly {

// The user agent of every request.
constexpr char kAgentText[] = "ravavo";

// WinINet's numbers for the time-out options (INTERNET_OPTION_CONNECT_TIMEOUT and so on).
constexpr std::uint32_t kConnectTimeoutOption = 2;
constexpr std::uint32_t kSendTimeoutOption = 5;
constexpr std::uint32_t kReceiveTimeoutOption = 6;
constexpr std::uint32_t kDataSendTimeoutOption = 7;
constexpr std::uint32_t kDataReceiveTimeoutOption = 8;

struct TimeoutSetting {
    std::uint32_t option;
    std::uint32_t milliseconds;
};

// In this order on every new session (and its request).
constexpr TimeoutSetting kTimeouts[] = {
    {kConnectTimeoutOption, 2000},     {kSendTimeoutOption, 4000},
    {kReceiveTimeoutOption, 4000},     {kDataSendTimeoutOption, 4000},
    {kDataReceiveTimeoutOption, 4000},
};

// The milliseconds kTimeouts gives `option`; 0 for an option it does not set.
constexpr std::uint32_t TimeoutMilliseconds(std::uint32_t option) {
    for (const TimeoutSetting& timeout : kTimeouts) {
        if (timeout.option == option) {
            return timeout.milliseconds;
        }
    }
    return 0;
}

// INTERNET_FLAG_RELOAD (0x80000000: always from the server, never from a cache),
// INTERNET_FLAG_DONT_CACHE (0x04000000: the answer is not stored) and
// INTERNET_FLAG_TRANSFER_BINARY (0x00000002: the body byte for byte); nothing else.
constexpr std::uint32_t kOpenFlags = 0x84000002;

// The path under which the server holds the index and every file it names, with both slashes.
// A literal, so that the installer can join it to the host chosen at build time.
#define TESSALY_PACKAGE_BASE_PATH "/AppData/"

// The index, as the installer asks for it relative to the package base, and its file name.
constexpr char kIndexPath[] = "/FileList.txt";
constexpr const char* kIndexName = kIndexPath + 1;

}  // namespace tessaly
