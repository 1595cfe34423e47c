// Removing a catalog: refused while a schema has collections, and never
// acting on a catalog other than the named one.
#include "scripted_catalog.h"

namespace {

class CatalogRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database.AddCatalog(7, "GEO");
    database.AddCatalog(8, "OTHER");
  }
  // The catalog's schemas (3 and 5); `collections` rows for each schema.
  void ScriptSchemas(int first, int second) {
    driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(2)}});
    driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}, {Value::Int(5)}});
    driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(first)}});
    driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(second)}});
    if (first > 0) driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(40)}});
    if (second > 0) driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(50)}});
  }
  std::vector<std::string> DeleteTexts() {
    std::vector<std::string> out;
    for (const auto& t : driver.Texts()) {
      if (t.find("schema_Del") != std::string::npos) out.push_back(t);
    }
    return out;
  }

  ScriptedDriver driver;
  FakeDatabase database{driver.hdbc()};
  COraMetaDataBase catalog;
};

TEST_F(CatalogRemovalTest, SchemasWithoutCollectionsGoThenTheCatalog) {
  ScriptSchemas(0, 0);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 1);
  EXPECT_EQ(database.deleted, (std::vector<std::int32_t>{7}));
  const auto deletes = DeleteTexts();
  ASSERT_EQ(deletes.size(), 2u);
  EXPECT_EQ(driver.ExecutedParams(driver.Texts().size() - 2).at(0).integer, 3);
  EXPECT_EQ(driver.ExecutedParams(driver.Texts().size() - 1).at(0).integer, 5);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 1);  // left open for the host to close
}

TEST_F(CatalogRemovalTest, CollectionInTheSecondSchemaRefusesEverything) {
  ScriptSchemas(0, 1);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 0);
  EXPECT_TRUE(DeleteTexts().empty());
  EXPECT_TRUE(database.deleted.empty());
}

TEST_F(CatalogRemovalTest, CatalogWithoutSchemasIsDeletedDirectly) {
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(0)}}).Times(2);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 1);
  EXPECT_EQ(database.deleted, (std::vector<std::int32_t>{7}));
  EXPECT_TRUE(DeleteTexts().empty());
}

TEST_F(CatalogRemovalTest, UnreadableListsDeleteNothing) {
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Status(-1).Times(2);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 0);
  EXPECT_TRUE(database.deleted.empty());

  driver.ClearCalls();
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}, {Value::Int(5)}});
  driver.OnExecute("COUNT(COL_ID)").Status(-1);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 0);
  EXPECT_TRUE(DeleteTexts().empty());
  EXPECT_TRUE(database.deleted.empty());
}

TEST_F(CatalogRemovalTest, FailedOpenNeverTouchesTheCatalogAlreadyOpen) {
  ASSERT_EQ(catalog.mtdb_Open(&database, 8, 0), 1);
  EXPECT_EQ(catalog.mtdb_Remove(&database, 99), 0);  // unknown catalog
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_TRUE(database.deleted.empty());

  database.SetHandle(nullptr);  // no connection
  EXPECT_EQ(catalog.mtdb_Remove(&database, 7), 0);
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_TRUE(database.deleted.empty());
}

}  // namespace
