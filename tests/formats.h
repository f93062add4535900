// The unit tests' formats, taken by name.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "pixels/pixel_format.h"

namespace velloran {

// The format `name` names; a name that names none fails the test.
inline PixelFormat formatNamed(const std::string& name) {
  PixelFormat format{};
  FormatRefusal refusal;
  EXPECT_TRUE(parseFormat(name, format, refusal)) << formatRefusalText(refusal);
  return format;
}

}  // namespace velloran
