// One line for support at each point where an operation fails: what failed, on which URL, file,
// folder or link, and the HTTP status or Windows error that said so, as
//
//     Tessaly: <what> failed: <subject>: <reason>
//
// The lines go to the debugger output (a debug-output viewer shows them; users never see them),
// so what the user sees does not change.
#pragma once

#include <cstddef>

namespace tessaly {

constexpr std::size_t FAILURE_REPORT_CAPACITY = 1024;

// Composes "Tessaly: <what> failed: <subject>: <reason>" with a line break into `line`. A line
// that would not fit keeps "Tessaly: <what> failed" and drops the rest; false then.
bool ComposeFailureReport(char (&line)[FAILURE_REPORT_CAPACITY], const char* what,
                          const char* subject, const char* reason);

// Writes the composed line.
void ReportFailure(const char* what, const char* subject, const char* reason);
// The reason is `label` and a decimal number: "HTTP status 404", "bytes received 1000".
void ReportFailure(const char* what, const char* subject, const char* label,
                   unsigned long long number);
// The reason is a Windows error code: "error 5".
void ReportError(const char* what, const char* subject, unsigned long error);
// The reason is a COM result: "HRESULT 0x80040154".
void ReportHresult(const char* what, const char* subject, long result);

// Where the finished lines go. The process entry hands in the platform's writer (the debugger
// output); until a writer is handed in, the lines are dropped.
using FailureLineWriter = void (*)(const char* line);
void SetFailureLineWriter(FailureLineWriter writer);

}  // namespace tessaly
