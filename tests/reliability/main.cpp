// The reliability tests run under the program's own application object, as
// the live tests do: floods, a soak and a full disk; offscreen unless told
// otherwise.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/RiriredApplication.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RiriredApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
