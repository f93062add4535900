#pragma once

namespace velloran {

// The whole run: the six questions on standard input, one snapshot per image,
// the final ROM position on standard output. Returns the process exit status:
// 0 when every snapshot attempted was written, 1 otherwise.
int runDump();

}  // namespace velloran
