// The live monitor's tests run under the program's own application object,
// so that failures reach the default exception report as they do in the
// program; offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/RiriredApplication.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RiriredApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
