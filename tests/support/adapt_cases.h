// Checks of the dialect adapter shared by the tests of each target: an
// Oracle text with the exact text it must become, and texts that must be
// refused with a message.
#ifndef METASHELF_TESTS_SUPPORT_ADAPT_CASES_H_
#define METASHELF_TESTS_SUPPORT_ADAPT_CASES_H_

#include <gtest/gtest.h>

#include <string>

#include "dialect/dialect.h"

namespace metashelf {
namespace driver {
namespace dialect {

// An Oracle text and what one target makes of it.
struct Case {
  const char* oracle;
  const char* expected;
};

inline ::testing::AssertionResult AdaptsTo(Target target, const Case& c,
                                           const Rules& rules = Rules()) {
  Adapted a;
  std::string error;
  if (!Adapt(c.oracle, target, rules, &a, &error)) {
    return ::testing::AssertionFailure() << c.oracle << " was refused: " << error;
  }
  if (a.text != c.expected) {
    return ::testing::AssertionFailure()
           << c.oracle << "\n  became   " << a.text << "\n  expected " << c.expected;
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult Refuses(Target target, const std::string& text) {
  Adapted a;
  std::string error;
  if (Adapt(text, target, &a, &error)) {
    return ::testing::AssertionFailure() << text << " was accepted as " << a.text;
  }
  if (error.empty())
    return ::testing::AssertionFailure() << text << " was refused without a message";
  return ::testing::AssertionSuccess();
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_ADAPT_CASES_H_
