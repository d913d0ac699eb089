// The failure lines go to the debugger output.
#include <windows.h>

#include "common/failure_report_win.h"

namespace tessaly {

// The line goes out as stored, names in code page 936 included: OutputDebugStringW would only
// convert it to the machine's ANSI code page on its way to the same output, losing what that code
// page cannot write.
void WriteDebugLine(const char* line) {
    OutputDebugStringA(line);
}

}  // namespace tessaly
