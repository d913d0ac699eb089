// The failure lines the code under test writes, recorded by a stand-in writer that the tests hand
// to SetFailureLineWriter in place of the debugger output.
#pragma once

#include <string>
#include <vector>

namespace tessaly::test {

// Hands in the recording writer and forgets the lines recorded so far.
void RecordDebugLines();

std::vector<std::string>& DebugLines();

}  // namespace tessaly::test
