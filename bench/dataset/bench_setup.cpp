// The dataset benchmarks' shared setup and floor.
#include "bench_setup.h"

#include <cstdio>
#include <random>

namespace bench {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::vector<std::string> CorpusFiles() {
  return metashelf::testing::XmlFilesIn(std::string(METASHELF_CORPUS_DIR) + "/fgdc");
}

bool Exec(gis_SQLHDBC_STRU* hdbc, const std::string& sql) {
  gis_SQLHSTMT stmt = nullptr;
  if (gis_SQLAllocStmt(hdbc, &stmt) != 0) return false;
  const bool ok = gis_SQLExecDirect(stmt, sql.c_str(), GIS_SQL_NTS) == 0;
  gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  return ok;
}

bool Open(Setup& s, const std::string& uri) {
  std::string error;
  s.db = CHostDataBase::Open(uri, &error);
  if (!s.db) {
    std::printf("  cannot open %s: %s\n", uri.c_str(), error.c_str());
    return false;
  }
  const std::string unique = std::to_string(std::random_device()());
  const std::int32_t mtdb = s.db->db_CreateMtdb(("bench" + unique).c_str());
  if (mtdb < 1 || s.catalog.mtdb_Open(s.db.get(), mtdb, 0) != 1) return false;
  const std::string text = ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
  const std::int32_t schemaID = s.catalog.schema_Add("KORVEN_FGDC", text.c_str(), "");
  if (schemaID < 1) return false;
  const std::int32_t colID = s.set.Create(&s.catalog, schemaID, ("bench" + unique).c_str(), "");
  if (colID < 1 || s.set.Open(&s.catalog, colID) != 1) return false;
  s.set.GetCSchemaPtr(&s.schema);
  char owner[32] = {};
  s.catalog.GetOraBaseInfo(s.hdbc, owner);
  s.owner = owner;
  return true;
}

std::string CreateFloorTable(Setup& s) {
  const std::string table = s.owner + ".BENCH_FLOOR";
  if (!Exec(s.hdbc, "CREATE TABLE " + table +
                        "(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,POSITION NUMBER NOT "
                        "NULL,NODEVALUE VARCHAR2(4000))") ||
      !Exec(s.hdbc, "CREATE INDEX " + table + "_ID ON " + table + "(MetaID)")) {
    return "";
  }
  return table;
}

void InsertFloorRows(Setup& s, const std::string& table, const std::vector<std::int64_t>& ids,
                     std::int32_t rows) {
  for (std::int32_t k = 0; k < rows; ++k) {
    Exec(s.hdbc, "insert into " + table + "(MetaID,NODEGUID,POSITION,NODEVALUE) values(" +
                     std::to_string(ids[static_cast<std::size_t>(k) % ids.size()]) + ", " +
                     std::to_string(1000 + k) + ", 0,'v" + std::to_string(k) + "')");
  }
}

}  // namespace bench
