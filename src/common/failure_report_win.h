// The platform's writer of failure lines, which the process entry hands to SetFailureLineWriter.
#pragma once

namespace tessaly {

// Hands one finished line to the debugger output.
void WriteDebugLine(const char* line);

}  // namespace tessaly
