// The fixture of the driver conformance suite: one fresh database per test
// on each backend of the run (tests/support/backends.h), its connection
// handle, and owner-qualified names.
#ifndef METASHELF_TESTS_DRIVER_CONFORMANCE_H_
#define METASHELF_TESTS_DRIVER_CONFORMANCE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/driver_helpers.h"
#include "support/backends.h"

namespace metashelf {
namespace testing {

class DriverTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fresh_ = std::make_unique<FreshDatabase>(GetParam());
    if (!fresh_->db) GTEST_SKIP() << fresh_->error;
    hdbc_ = fresh_->db->HDBC();
    owner_ = fresh_->db->db_GetOwner();
  }
  // owner.name
  std::string Q(const std::string& name) const { return owner_ + "." + name; }
  void MustRun(const std::string& sql) {
    std::string error;
    ASSERT_EQ(RunSql(hdbc_, sql, &error), 0) << sql << ": " << error;
  }

  std::unique_ptr<FreshDatabase> fresh_;
  gis_SQLHDBC_STRU* hdbc_ = nullptr;
  std::string owner_;
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_DRIVER_CONFORMANCE_H_
