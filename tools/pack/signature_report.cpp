// Validity dates and signature verdicts in words.
#include "pack/signature_report.h"

#include <ctime>

#include "pack/command.h"

namespace tessaly::pack {

namespace {

constexpr std::uint64_t MOST_DAYS = 3650;
constexpr std::size_t UTC_TEXT_CAPACITY = 32;  // "YYYY-MM-DD HH:MM UTC"

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string Plural(std::uint64_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

}  // namespace

ExpiryRead ReadExpiry(const std::string& when, std::uint64_t now, std::uint64_t& expires) {
    std::uint64_t days = 0;
    if (AllDigits(when) && when.size() <= 4) {
        if (!ReadNumber(when, MOST_DAYS, days) || days < 1) {
            return ExpiryRead::Invalid;
        }
        expires = now + days * SECONDS_PER_DAY;
        return ExpiryRead::Future;
    }
    if (!ReadUtcDate(when.c_str(), expires)) {
        return ExpiryRead::Invalid;
    }
    return expires > now ? ExpiryRead::Future : ExpiryRead::Past;
}

std::string FormatUtc(std::uint64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[UTC_TEXT_CAPACITY] = {};
    if (gmtime_r(&time, &utc) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc) == 0) {
        return std::to_string(seconds) + " s after 1970";
    }
    return text;
}

std::string DescribeValidity(std::uint64_t expires, std::uint64_t now) {
    const std::string until = "valid until " + FormatUtc(expires);
    if (expires <= now) {
        return "expired on " + FormatUtc(expires);
    }
    const std::uint64_t left = expires - now;
    if (left >= SECONDS_PER_DAY) {
        return until + " (" + Plural((left + SECONDS_PER_DAY / 2) / SECONDS_PER_DAY, "day") +
               " left)";
    }
    if (left >= 3600) {
        return until + " (" + Plural(left / 3600, "hour") + " left)";
    }
    return until + " (less than an hour left)";
}

SignatureJudgement JudgeSignature(const std::string& index, EVP_PKEY* publicKey,
                                  std::uint64_t now) {
    SignatureFindings findings{};
    const SignatureVerdict verdict = CheckSignedIndex(index, publicKey, now, findings);
    const SignatureLines& lines = findings.lines;
    const std::uint64_t expires =
        findings.decidingLine < lines.count ? lines.lines[findings.decidingLine].expires : 0;
    const std::string trusted = KeyId(publicKey);
    if (verdict == SignatureVerdict::Good) {
        return {verdict, "signed by key " + trusted + ", " + DescribeValidity(expires, now)};
    }
    std::string reason = SignatureVerdictText(verdict);
    if (verdict == SignatureVerdict::WrongKey) {
        reason = std::string("signed with ") + (lines.count == 1 ? "key " : "keys ");
        for (std::size_t i = 0; i < lines.count; ++i) {
            reason += (i == 0 ? "" : ", ") + std::string(lines.lines[i].keyId);
        }
    } else if (verdict == SignatureVerdict::BadSignature) {
        reason += " (the index or its signature line changed after signing)";
    } else if (verdict == SignatureVerdict::Expired) {
        reason = "the signature " + DescribeValidity(expires, now);
    }
    return {verdict, "an installer built with key " + trusted + " refuses it: " + reason};
}

}  // namespace tessaly::pack
