// The catalog objects as the system uses them: KRPG_MD procedure blocks in
// both closing forms, and the KRSQ_SCHEMANODEID sequence with its
// increment changes.
#include <cstring>

#include "driver/conformance.h"

namespace metashelf {
namespace testing {
namespace {

class ProcedureTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_GT(fresh_->db->db_CreateMtdb("default"), 0) << fresh_->db->LastError();
  }
  std::int16_t Call(const std::string& literal, const char* closing, std::int32_t id,
                    const char* text = nullptr, bool textFirst = false) {
    Stmt s(hdbc_);
    const std::string sql = "BEGIN " + owner_ + "." + literal + closing;
    std::int16_t rc = gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS);
    if (rc != 0) return rc;
    std::int16_t ind = 0;
    char idText[24];
    std::snprintf(idText, sizeof idText, "%d", id);
    if (textFirst) {
      gis_SQLBindParameter(s.get(), 1, 1, 5, 5, 0, 0, idText,
                           static_cast<std::int32_t>(std::strlen(idText) + 1), &ind);
    } else {
      gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &id, 4, &ind);
    }
    if (text) {
      gis_SQLBindParameter(s.get(), 2, 1, 5, 5, 0, 0, const_cast<char*>(text),
                           static_cast<std::int32_t>(std::strlen(text) + 1), &ind);
    }
    rc = gis_SQLExecute(s.get());
    if (rc != 0) last_error_ = s.Error();
    return rc;
  }
  std::int32_t Draw() {
    Stmt s(hdbc_);
    const std::string sql =
        "SELECT " + owner_ + ".KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL";
    std::int32_t v = 0;
    EXPECT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
    EXPECT_EQ(gis_SQLBindCol(s.get(), 1, 3, &v, 4, nullptr), 0);
    EXPECT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
    EXPECT_EQ(gis_SQLFetch(s.get()), 0) << s.Error();
    return v;
  }
  std::int16_t SetIncrement(int n) {
    return RunSql(
        hdbc_, "ALTER SEQUENCE " + owner_ + ".KRSQ_SCHEMANODEID INCREMENT BY " + std::to_string(n));
  }
  std::string last_error_;
};

TEST_P(ProcedureTest, SchemaProceduresStampOwnerAndTimes) {
  Stmt s(hdbc_);
  const std::string sql = "BEGIN " + owner_ + ".KRPG_MD.schema_Add(:1,:2,:3,:4);END; ";
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
  std::int32_t id = 41, mtdb = 1;
  char name[] = "FGDC";
  char remark[] = "";
  std::int16_t ind = 0;
  gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &id, 4, &ind);
  gis_SQLBindParameter(s.get(), 2, 1, 5, 5, 0, 0, name, 5, &ind);
  gis_SQLBindParameter(s.get(), 3, 1, 3, 3, 0, 0, &mtdb, 4, &ind);
  gis_SQLBindParameter(s.get(), 4, 1, 5, 5, 0, 0, remark, 1, &ind);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  const std::string read =
      "SELECT SCHEMA_NAME,MTDB_ID,OWNER,REMARK,TO_CHAR(CRTTIME,'YYYY-MM-DD'),"
      "CASE WHEN MODTIME IS NULL THEN 'no' ELSE 'yes' END FROM " +
      Q("KRDB_META_SCHEMA") + " WHERE SCHEMA_ID=41";
  auto rows = Rows(hdbc_, read, 6);
  ASSERT_EQ(rows.size(), 1u) << rows[0][0];
  EXPECT_EQ(rows[0][0], "FGDC");
  EXPECT_EQ(rows[0][1], "1");
  EXPECT_EQ(rows[0][2], owner_);
  EXPECT_EQ(rows[0][3], "NULL");  // '' is NULL
  EXPECT_EQ(rows[0][4].size(), 10u);
  EXPECT_EQ(rows[0][5], "yes");
  // The rename form closes with " END; ".
  ASSERT_EQ(Call("KRPG_MD.schema_updatename(:1,:2);", " END; ", 41, "ISO"), 0) << last_error_;
  ASSERT_EQ(Call("KRPG_MD.schema_updateRemark(:1,:2);", " END; ", 41, "r"), 0) << last_error_;
  ASSERT_EQ(Call("KRPG_MD.schema_UpdateTime(:1);", "END; ", 41), 0) << last_error_;
  EXPECT_EQ(Rows(hdbc_, "SELECT SCHEMA_NAME,REMARK FROM " + Q("KRDB_META_SCHEMA"), 2),
            (std::vector<std::vector<std::string>>{{"ISO", "r"}}));
  ASSERT_EQ(Call("KRPG_MD.schema_Del(:1); ", "END; ", 41), 0) << last_error_;
  EXPECT_TRUE(Rows(hdbc_, "SELECT SCHEMA_ID FROM " + Q("KRDB_META_SCHEMA"), 1).empty());
}

TEST_P(ProcedureTest, CollectionAndRecordProcedures) {
  ASSERT_EQ(RunSql(hdbc_, "BEGIN " + owner_ + ".KRPG_MD.collection_Add(:1,:2,:3,:4);END; "),
            GIS_SQL_ERROR);  // unbound placeholders are an error, not NULLs
  Stmt s(hdbc_);
  const std::string add = "BEGIN " + owner_ + ".KRPG_MD.collection_Add(:1,:2,:3,:4);END; ";
  ASSERT_EQ(gis_SQLPrepare(s.get(), add.c_str(), GIS_SQL_NTS), 0);
  std::int32_t col = 7, schema = 41;
  char name[] = "roads", remark[] = "x";
  std::int16_t ind = 0;
  gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &col, 4, &ind);
  gis_SQLBindParameter(s.get(), 2, 1, 5, 5, 0, 0, name, 6, &ind);
  gis_SQLBindParameter(s.get(), 3, 1, 3, 3, 0, 0, &schema, 4, &ind);
  gis_SQLBindParameter(s.get(), 4, 1, 5, 5, 0, 0, remark, 2, &ind);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  ASSERT_EQ(Call("KRPG_MD.collection_updateName(:1,:2);", " END; ", 7, "rivers"), 0);
  ASSERT_EQ(Call("KRPG_MD.collection_updateRemark(:1,:2);", " END; ", 7, "y"), 0);
  ASSERT_EQ(Call("KRPG_MD.collection_UpdateTime(:1);", "END; ", 7), 0);
  EXPECT_EQ(Rows(hdbc_, "SELECT COL_NAME,SCHEMA_ID,REMARK,OWNER FROM " + Q("KRDB_META_SET"), 4),
            (std::vector<std::vector<std::string>>{{"rivers", "41", "y", owner_}}));

  Stmt m(hdbc_);
  const std::string meta = "BEGIN " + owner_ + ".KRPG_MD.metaInfo_Add(:1,:2,:3,:4);END; ";
  ASSERT_EQ(gis_SQLPrepare(m.get(), meta.c_str(), GIS_SQL_NTS), 0);
  char metaId[] = "-2147483648";
  std::int32_t zero = 0;
  gis_SQLBindParameter(m.get(), 1, 1, 5, 5, 0, 0, metaId, sizeof metaId, &ind);
  gis_SQLBindParameter(m.get(), 2, 1, 3, 3, 0, 0, &col, 4, &ind);
  gis_SQLBindParameter(m.get(), 3, 1, 3, 3, 0, 0, &zero, 4, &ind);
  gis_SQLBindParameter(m.get(), 4, 1, 5, 5, 0, 0, remark, 2, &ind);
  ASSERT_EQ(gis_SQLExecute(m.get()), 0) << m.Error();
  EXPECT_NE(gis_SQLExecute(m.get()), 0);  // the same id twice breaks the key
  ASSERT_EQ(Call("KRPG_MD.metaInfo_updateRemark(:1,:2);", " END; ", -2147483647 - 1, "z", true), 0);
  ASSERT_EQ(Call("KRPG_MD.metaInfo_UpdateTime(:1);", "END; ", -2147483647 - 1, nullptr, true), 0);
  EXPECT_EQ(Rows(hdbc_, "SELECT META_ID,COL_ID,REMARK FROM " + Q("KRDB_META_INFO"), 3),
            (std::vector<std::vector<std::string>>{{"-2147483648", "7", "z"}}));
  ASSERT_EQ(Call("KRPG_MD.metaInfo_Del(:1);", "END; ", -2147483647 - 1, nullptr, true), 0);
  ASSERT_EQ(Call("KRPG_MD.collection_Del(:1);", "END; ", 7), 0);
  EXPECT_TRUE(Rows(hdbc_, "SELECT META_ID FROM " + Q("KRDB_META_INFO"), 1).empty());
  EXPECT_TRUE(Rows(hdbc_, "SELECT COL_ID FROM " + Q("KRDB_META_SET"), 1).empty());
  EXPECT_LT(Call("KRPG_MD.no_such_procedure(:1);", "END; ", 7), 0);
}

TEST_P(ProcedureTest, SequenceBlocksMoveAsOraclesDo) {
  const std::int32_t f = Draw();
  EXPECT_GT(f, 0);
  // A block of 3 from f: increment 2, draw (f+2), increment 1, draw (f+3).
  ASSERT_EQ(SetIncrement(2), 0);
  EXPECT_EQ(Draw(), f + 2);
  ASSERT_EQ(SetIncrement(1), 0);
  EXPECT_EQ(Draw(), f + 3);
  EXPECT_EQ(Draw(), f + 4);
  EXPECT_LT(SetIncrement(0), 0);
  EXPECT_EQ(Draw(), f + 5);
}

// A value drawn in a transaction that rolled back is not handed out again,
// on any backend: the next draw gives the one after it.
TEST_P(ProcedureTest, SequenceDrawsNeverComeAgainAfterARollback) {
  ASSERT_EQ(fresh_->db->Begin(), 1);
  const std::int32_t a = Draw();
  const std::int32_t id = fresh_->db->db_GetFreeXCLSID();
  ASSERT_EQ(fresh_->db->Rollback(), 1);
  EXPECT_EQ(Draw(), a + 1);
  EXPECT_EQ(fresh_->db->db_GetFreeXCLSID(), id + 1);
}

METASHELF_ON_EVERY_BACKEND(ProcedureTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf
