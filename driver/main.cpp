#include "driver/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  velloran::prepareProcess();
  const velloran::RunResult result = velloran::runCommand(velloran::programArguments(argc, argv));
  // Everything is given back by now: the files are closed, the output flushed.
  if (result.stopRequest != 0) velloran::endByStopRequest(result.stopRequest);
  return velloran::endOutput(result.status);
}
