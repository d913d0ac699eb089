// How tessaly-pack speaks of a signed index: the end of validity asked for on the command line
// (WHEN), and what an installer built with a key makes of an index, in a publisher's words.
#pragma once

#include <cstdint>
#include <string>

#include "pack/index_signing.h"

namespace tessaly::pack {

enum class ExpiryRead {
    Future,
    Past,  // a date whose start has passed: accepted (tests need expired indexes), with a warning
    Invalid,  // neither form
};

// Reads WHEN: a number of days from `now` (1 to 3650), or a UTC date YYYY-MM-DD whose start,
// 00:00:00 UTC, ends the validity (the index is good until the day before ends). `now` and
// `expires` are UTC seconds.
ExpiryRead ReadExpiry(const std::string& when, std::uint64_t now, std::uint64_t& expires);

// "YYYY-MM-DD HH:MM UTC".
std::string FormatUtc(std::uint64_t seconds);

// "valid until 2027-03-09 00:00 UTC (90 days left)", counting days to the nearest and, in the
// last day, hours.
std::string DescribeValidity(std::uint64_t expires, std::uint64_t now);

struct SignatureJudgement {
    SignatureVerdict verdict;
    // Good: "signed by key <id>, valid until … (N days left)"; otherwise why an installer built
    // with `publicKey` refuses the index.
    std::string text;
};

// The judgement of an installer that holds only `publicKey` (CheckSignedIndex) at `now`, in words.
SignatureJudgement JudgeSignature(const std::string& index, EVP_PKEY* publicKey, std::uint64_t now);

}  // namespace tessaly::pack
