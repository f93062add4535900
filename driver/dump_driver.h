#pragma once

#include <string>
#include <vector>

namespace velloran {

// The whole run: options and up to six answers from `arguments`, the other
// questions on standard input, one snapshot per image, the final ROM position
// on standard output. Returns the process exit status: 0 when every snapshot
// attempted was written, 1 when the run failed, 2 for a command line that
// cannot be used. A stop request during the dump ends the process by it.
int runDump(const std::vector<std::string>& arguments);

// Closes standard output, the last check that all of it was written; the
// status to exit with.
int closeStandardOutput(int status);

}  // namespace velloran
