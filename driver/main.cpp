#include "driver/dump_driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const int status = velloran::runDump(velloran::programArguments(argc, argv));
  return velloran::closeStandardOutput(status);
}
