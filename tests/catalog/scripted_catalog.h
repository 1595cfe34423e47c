// A catalog opened on a scripted driver: owner GEO, catalog 7, free ids from
// 1000 on. Tests script the answers and read back the driver's trace.
#ifndef METASHELF_TESTS_CATALOG_SCRIPTED_CATALOG_H_
#define METASHELF_TESTS_CATALOG_SCRIPTED_CATALOG_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "metashelf/metashelf.h"
#include "support/fake_database.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;
using Lines = std::vector<std::string>;

class ScriptedCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database.AddCatalog(7, "GEO");
    ASSERT_EQ(catalog.mtdb_Open(&database, 7, 0), 1);
  }

  // A catalog handle that was never opened.
  COraMetaDataBase closed;

  ScriptedDriver driver;
  FakeDatabase database{driver.hdbc()};
  COraMetaDataBase catalog;
};

#endif  // METASHELF_TESTS_CATALOG_SCRIPTED_CATALOG_H_
