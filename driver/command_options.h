// The options the command line takes, a row each: how it is written and
// what reads it into the command line.
#pragma once

#include <string>

#include "driver/command_line.h"

namespace velloran {

// What the options given say beyond the command line's fields, for the
// checks that take several options together.
struct OptionsGiven {
  bool graphics = false;
  bool palette = false;
  bool paletteFormat = false;
  bool bank = false;
  bool decodedOffset = false;
  bool scan = false;
  bool scanPalettes = false;
  bool scanFilter = false;
  bool mapOption = false;
};

// Reads an option's value (empty for one that takes none) into `command`:
// empty, or what is wrong with the value, naming the option.
using ReadOption = std::string (*)(const std::string& value, CommandLine& command, OptionsGiven& given);

// The reader of the option `argument` is, with its value; nullptr when it
// is no option the tool takes.
ReadOption optionReader(const std::string& argument, std::string& value);

}  // namespace velloran
