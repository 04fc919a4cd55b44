// Standard error of a death test's child that ends by SIGABRT, compared byte
// for byte with the expected report. Under the emulator the line that it
// writes of its own (emulation::abortLine) may follow the report.
#pragma once

#include <gmock/gmock.h>

#include <string>

#include "emulator.h"

inline testing::Matcher<const std::string&> abortReportIs(const std::string& report) {
  if (!emulation::underEmulator) return testing::Eq(report);
  return testing::AnyOf(testing::Eq(report),
                        testing::Eq(report + std::string(emulation::abortLine)));
}
