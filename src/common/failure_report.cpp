// Composition of the failure lines, and the writer handed in for them.
#include "common/failure_report.h"

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "common/fixed_text.h"

namespace tessaly {

namespace {

constexpr std::size_t NUMBER_TEXT_CAPACITY = 24;  // the decimal digits of any 64-bit number
constexpr std::size_t REASON_CAPACITY = 64;       // a label or "HRESULT", and a number

// Handed in once by the process entry, read by every thread that reports.
std::atomic<FailureLineWriter> lineWriter{nullptr};

}  // namespace

void SetFailureLineWriter(FailureLineWriter writer) {
    lineWriter.store(writer);
}

bool ComposeFailureReport(char (&line)[FAILURE_REPORT_CAPACITY], const char* what,
                          const char* subject, const char* reason) {
    if (ComposeText(line, {"Tessaly: ", what, " failed: ", subject, ": ", reason, "\n"})) {
        return true;
    }
    ComposeText(line, {"Tessaly: ", what, " failed\n"});
    return false;
}

void ReportFailure(const char* what, const char* subject, const char* reason) {
    char line[FAILURE_REPORT_CAPACITY];
    ComposeFailureReport(line, what, subject, reason);
    if (const FailureLineWriter writer = lineWriter.load()) {
        writer(line);
    }
}

void ReportFailure(const char* what, const char* subject, const char* label,
                   unsigned long long number) {
    char digits[NUMBER_TEXT_CAPACITY];
    std::snprintf(digits, sizeof digits, "%llu", number);
    char reason[REASON_CAPACITY];
    ComposeText(reason, {label, " ", digits});
    ReportFailure(what, subject, reason);
}

void ReportError(const char* what, const char* subject, unsigned long error) {
    ReportFailure(what, subject, "error", error);
}

void ReportHresult(const char* what, const char* subject, long result) {
    char reason[REASON_CAPACITY];
    std::snprintf(reason, sizeof reason, "HRESULT 0x%08" PRIX32,
                  static_cast<std::uint32_t>(result));
    ReportFailure(what, subject, reason);
}

}  // namespace tessaly
