#include "dump_driver.h"

int main() {
  return velloran::runDump();
}
