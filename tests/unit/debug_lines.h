// The lines the code under test wrote to the debugger output, recorded by the native stand-in for
// WriteDebugLine (failure_report_test.cpp).
#pragma once

#include <string>
#include <vector>

namespace tessaly::test {

std::vector<std::string>& DebugLines();

}  // namespace tessaly::test
