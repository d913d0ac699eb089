// Step 6 of the install: opening what the index marks for launch.
#pragma once

namespace tessaly {

// Opens every Launch entry with the shell, in list order, without waiting. Always true.
bool LaunchEntries();

}  // namespace tessaly
