// The one list of backends every parameterised suite runs on. A suite that
// holds for all of them is instantiated with METASHELF_ON_EVERY_BACKEND, so
// adding a backend here runs every such suite on it; each test is named
// after its backend ("Backends/RealSetTest.Works/postgresql").
#ifndef METASHELF_TESTS_SUPPORT_BACKEND_LIST_H_
#define METASHELF_TESTS_SUPPORT_BACKEND_LIST_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace metashelf {
namespace testing {

// Backends this run tests.
inline std::vector<std::string> Backends() {
  return {"sqlite", "postgresql"};
}

// The backend's name as the test name's suffix.
inline std::string BackendName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}

}  // namespace testing
}  // namespace metashelf

#define METASHELF_ON_EVERY_BACKEND(Suite)                                                          \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(::metashelf::testing::Backends()), \
                           ::metashelf::testing::BackendName)

#endif  // METASHELF_TESTS_SUPPORT_BACKEND_LIST_H_
