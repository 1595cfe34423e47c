// The one list of backends every parameterised suite runs on, as the build
// names it (METASHELF_TEST_BACKENDS in tests/CMakeLists.txt). A suite that
// holds for all of them is instantiated with METASHELF_ON_EVERY_BACKEND, so
// adding a backend to that list runs every such suite on it; each test is
// named after its backend ("Backends/RealSetTest.Works/postgresql").
#ifndef METASHELF_TESTS_SUPPORT_BACKEND_LIST_H_
#define METASHELF_TESTS_SUPPORT_BACKEND_LIST_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace metashelf {
namespace testing {

// Backends this run tests: the build's list (tests/CMakeLists.txt), comma
// separated.
inline std::vector<std::string> Backends() {
  std::vector<std::string> out;
  const std::string list = METASHELF_TEST_BACKENDS;
  for (std::size_t at = 0; at <= list.size();) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    if (comma > at) out.push_back(list.substr(at, comma - at));
    at = comma + 1;
  }
  return out;
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
