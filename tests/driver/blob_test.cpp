// Documents written through a BLOB locator after SELECT ... FOR UPDATE, read
// back as long binary, and their lengths.
#include <string>
#include <vector>

#include "driver/conformance.h"

namespace metashelf {
namespace testing {
namespace {

class BlobTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    MustRun("CREATE TABLE " + Q("S") + "(MetaID NUMBER NOT NULL, DOC BLOB, LABEL BLOB)");
  }
  std::int16_t WriteThroughLocator(int id, const std::string& data) {
    Stmt s(hdbc_);
    const std::string sql =
        "select DOC from " + Q("S") + " where MetaID=" + std::to_string(id) + " for update";
    std::int16_t ind = 0;
    if (gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS) != 0) return -10;
    if (gis_SQLBindCol(s.get(), 1, 113, nullptr, 0, &ind) != 0) return -11;
    if (gis_SQLExecute(s.get()) != 0) return -12;
    const std::int16_t fetched = gis_SQLFetch(s.get());
    if (fetched != 0) return fetched;
    void* token = nullptr;
    gis_SQLParamData(s.get(), &token);
    return gis_SQLPutData(s.get(), data.data(), static_cast<std::int32_t>(data.size()));
  }
  std::int32_t Length(int id, const char* column) {
    std::int32_t length = -1;
    Stmt s(hdbc_);
    const std::string sql = std::string("select dbms_lob.getlength(") + column + ") from " +
                            Q("S") + " where MetaID=" + std::to_string(id);
    EXPECT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
    EXPECT_EQ(gis_SQLBindCol(s.get(), 1, 3, &length, 4, nullptr), 0);
    EXPECT_EQ(gis_SQLExecute(s.get()), 0);
    EXPECT_EQ(gis_SQLFetch(s.get()), 0);
    return length;
  }
};

TEST_P(BlobTest, OneMebibyteDocumentThroughALocator) {
  MustRun("insert into " + Q("S") + " values(5,EMPTY_BLOB(),NULL)");
  MustRun("insert into " + Q("S") + " values(6,EMPTY_BLOB(),NULL)");
  std::string doc(1 << 20, '\0');
  for (std::size_t i = 0; i < doc.size(); ++i) doc[i] = static_cast<char>((i * 7919) % 251);
  ASSERT_EQ(WriteThroughLocator(5, doc), 0);
  EXPECT_EQ(Length(5, "DOC"), 1 << 20);
  EXPECT_EQ(Length(6, "DOC"), 0);     // an empty BLOB is not NULL
  EXPECT_EQ(Length(5, "LABEL"), -1);  // NULL leaves the length as it was
  Stmt s(hdbc_);
  const std::string sql = "select DOC from " + Q("S") + " where MetaID=5";
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  std::vector<char> back(doc.size());
  std::int16_t ind = 0;
  ASSERT_EQ(
      gis_SQLBindCol(s.get(), 1, 24, back.data(), static_cast<std::int32_t>(back.size()), &ind), 0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0);
  ASSERT_EQ(gis_SQLFetch(s.get()), 0) << s.Error();
  EXPECT_EQ(std::string(back.data(), back.size()), doc);
}

TEST_P(BlobTest, LocatorWriteNeedsALockedRow) {
  MustRun("insert into " + Q("S") + " values(5,EMPTY_BLOB(),NULL)");
  EXPECT_EQ(WriteThroughLocator(99, "x"), GIS_SQL_NO_DATA);  // no such row
  Stmt s(hdbc_);
  const std::string sql = "select DOC from " + Q("S") + " where MetaID=5";  // no FOR UPDATE
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 113, nullptr, 0, nullptr), 0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0);
  ASSERT_EQ(gis_SQLFetch(s.get()), 0);
  void* token = nullptr;
  EXPECT_LT(gis_SQLParamData(s.get(), &token), 0);
  EXPECT_LT(gis_SQLPutData(s.get(), "x", 1), 0);
  EXPECT_EQ(Length(5, "DOC"), 0);
}

TEST_P(BlobTest, WholeDocumentBoundAsParameter) {
  Stmt s(hdbc_);
  const std::string sql = "insert into " + Q("S") + "(MetaID,DOC) values(1,:1)";
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  std::string doc("<a>\0b</a>", 9);
  doc.push_back('\0');
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLBindParameter(s.get(), 1, 1, 113, 24, 0, 0, doc.data(),
                                 static_cast<std::int32_t>(doc.size()), &ind),
            0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  EXPECT_EQ(Length(1, "DOC"), static_cast<std::int32_t>(doc.size()));
}

METASHELF_ON_EVERY_BACKEND(BlobTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf
