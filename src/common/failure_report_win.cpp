// The failure lines go to the debugger output.
#include <windows.h>

#include "common/failure_report.h"

namespace tessaly {

void WriteDebugLine(const char* line) {
    OutputDebugStringA(line);
}

}  // namespace tessaly
