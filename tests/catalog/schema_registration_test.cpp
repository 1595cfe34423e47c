// Registering a schema text: existence test, identifier blocks drawn while
// the model library parses, the schema_Add call, then the four documents.
#include <algorithm>

#include "scripted_catalog.h"

namespace {

using SchemaRegistrationTest = ScriptedCatalogTest;

// Three nodes: one identifier block of three.
const char kTinySchema[] =
    "<schemaText name='tiny'><element name='metadata'><element name='title'/>"
    "<element name='pubdate' type='date'/></element></schemaText>";
const char kDefaultMap[] = "<?xml version='1.0' encoding='gbk'?> <N2EMAP />";

void ScriptSequence(ScriptedDriver& driver) {
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(100)}});
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(102)}});
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(103)}});
}

TEST_F(SchemaRegistrationTest, RegistersTheRowThenStoresTheFourDocuments) {
  database.SetNextId(21);
  ScriptSequence(driver);
  EXPECT_EQ(catalog.schema_Add("tiny", kTinySchema, nullptr), 21);

  const Lines texts = driver.Texts();
  ASSERT_EQ(texts.size(), 11u);
  EXPECT_EQ(texts[0],
            "SELECT COUNT(SCHEMA_NAME) FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_NAME='tiny' AND "
            "MTDB_ID=7");
  EXPECT_EQ(texts[1], "SELECT GEO.KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL");
  EXPECT_EQ(texts[2], "ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 2");
  EXPECT_EQ(texts[4], "ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 1");
  EXPECT_EQ(texts[6], "BEGIN GEO.KRPG_MD.schema_Add(:1,:2,:3,:4);END; ");
  EXPECT_EQ(texts[7], "UPDATE GEO.KRDB_META_SCHEMA SET SCHEMADOC=:1 WHERE SCHEMA_ID=21");
  EXPECT_EQ(texts[8], "UPDATE GEO.KRDB_META_SCHEMA SET NODEINFO=:1 WHERE SCHEMA_ID=21");
  EXPECT_EQ(texts[9], "UPDATE GEO.KRDB_META_SCHEMA SET XPATHDOC=:1 WHERE SCHEMA_ID=21");
  EXPECT_EQ(texts[10], "UPDATE GEO.KRDB_META_SCHEMA SET N2EMAP=:1 WHERE SCHEMA_ID=21");

  // Executions: count, 3 draws, 2 increments, the call, 4 stores.
  const auto call = driver.ExecutedParams(6);
  ASSERT_EQ(call.size(), 4u);
  EXPECT_EQ(call[0].integer, 21);
  EXPECT_EQ(call[1].bytes, "tiny");
  EXPECT_EQ(call[2].integer, 7);
  EXPECT_EQ(call[3].bytes, "");
  const std::string nodeInfo = driver.ExecutedParams(8).at(0).bytes;
  for (const char* guid : {"100", "101", "102"}) {
    EXPECT_NE(nodeInfo.find(std::string("\"") + guid + "\""), std::string::npos) << guid;
  }
  EXPECT_EQ(nodeInfo.find("\"103\""), std::string::npos);
  EXPECT_EQ(driver.ExecutedParams(10).at(0).bytes, kDefaultMap);
  EXPECT_FALSE(driver.ExecutedParams(7).at(0).bytes.empty());
  EXPECT_FALSE(driver.ExecutedParams(9).at(0).bytes.empty());

  // The call's statement is bound as the conventions say and freed last.
  const Lines trace = driver.Trace();
  const auto at = std::find(trace.begin(), trace.end(),
                            "Prepare BEGIN GEO.KRPG_MD.schema_Add(:1,:2,:3,:4);END; ");
  ASSERT_NE(at, trace.end());
  EXPECT_EQ(Lines(at + 1, at + 6),
            (Lines{"BindParameter 1 type 3/3 len 4", "BindParameter 2 type 5/5 len 5",
                   "BindParameter 3 type 3/3 len 4", "BindParameter 4 type 5/5 len 1", "Execute"}));
  // The call and the four stores are one unit, kept at the end.
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "BeginUnit BEGIN"), 1);
  EXPECT_LT(std::find(trace.begin(), trace.end(), "BeginUnit BEGIN"), at);
  EXPECT_EQ(trace.back(), "EndUnit COMMIT");
}

TEST_F(SchemaRegistrationTest, RefusesAClosedCatalogAndATakenName) {
  EXPECT_EQ(closed.schema_Add("tiny", kTinySchema, "r"), 0);
  EXPECT_TRUE(driver.Calls().empty());

  database.SetNextId(21);
  driver.OnExecute("COUNT(SCHEMA_NAME)").Rows({{Value::Int(1)}});
  EXPECT_EQ(catalog.schema_Add("tiny", kTinySchema, "r"), 0);
  EXPECT_EQ(driver.Texts().size(), 1u);
  EXPECT_EQ(database.db_GetFreeXCLSID(), 21);  // no id spent
}

TEST_F(SchemaRegistrationTest, RejectedTextRegistersNothing) {
  database.SetNextId(21);
  EXPECT_EQ(catalog.schema_Add("bad", "<schemaText name='bad'><oops/></schemaText>", "r"), 0);
  EXPECT_EQ(catalog.schema_Add("bad", "not xml", "r"), 0);
  for (const auto& text : driver.Texts()) {
    EXPECT_EQ(text.find("schema_Add"), std::string::npos);
  }
  EXPECT_EQ(database.db_GetFreeXCLSID(), 21);
}

TEST_F(SchemaRegistrationTest, FailedFirstDrawFailsTheParse) {
  driver.OnExecute("NEXTVAL").Status(-1);
  EXPECT_EQ(catalog.schema_Add("tiny", kTinySchema, "r"), 0);
  const Lines texts = driver.Texts();
  ASSERT_EQ(texts.size(), 2u);  // the name test and the one failed draw
  EXPECT_NE(texts[1].find("NEXTVAL"), std::string::npos);
}

TEST_F(SchemaRegistrationTest, FailedCallStoresNoDocument) {
  ScriptSequence(driver);
  driver.OnExecute("schema_Add").Status(-1);
  EXPECT_EQ(catalog.schema_Add("tiny", kTinySchema, "r"), 0);
  for (const auto& text : driver.Texts()) EXPECT_EQ(text.find("UPDATE"), std::string::npos);
  // The failed call's diagnostic is drained before its statement is freed.
  const Lines trace = driver.Trace();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(Lines(trace.end() - 4, trace.end()),
            (Lines{"Execute -> -1", "Error HY000", "FreeStmt 1", "EndUnit ROLLBACK"}));
}

TEST_F(SchemaRegistrationTest, FailedDocumentStoreUndoesTheRegistration) {
  database.SetNextId(21);
  ScriptSequence(driver);
  driver.OnExecute("SET NODEINFO").Status(-1);
  EXPECT_EQ(catalog.schema_Add("tiny", kTinySchema, "r"), 0);
  EXPECT_EQ(driver.Texts().size(), 9u);  // no store after the failed one
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");
}

}  // namespace
