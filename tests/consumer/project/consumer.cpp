// A host program that knows metashelf only through its installed headers
// and library: it creates and releases objects, uses the blob and array
// types, and opens a catalog on a database object of its own.
#include <metashelf/metashelf.h>

#include <cstdio>
#include <cstring>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

// A database object that knows one catalog but has no connection.
class NoConnectionDatabase : public CBas_GDataBase, public Cora_IDataBase {
 public:
  int db_GetMtdbInfo(std::int32_t id, unsigned char* record) override {
    if (id != 1) return 0;
    std::strcpy(reinterpret_cast<char*>(record + kMtdbInfoOwnerOffset), "HOST");
    return 1;
  }
  std::int32_t db_CreateMtdb(const char*) override { return 5; }
  std::int32_t db_DeleteMtdb(std::int32_t) override { return 1; }
  Cora_IConnection* db_GetConnection() override { return nullptr; }
  const char* db_GetOwner() override { return "HOST"; }
  gis_SQLHDBC_STRU* HDBC() override { return nullptr; }
  std::int32_t db_GetFreeXCLSID() override { return 1; }
};

}  // namespace

int main() {
  CMetaDataBase_abs* catalog = nullptr;
  CMetaDataSet_abs* set = nullptr;
  Check(NewMdb(&catalog) == 1 && catalog != nullptr, "NewMdb");
  Check(NewMds(&set) == 1 && set != nullptr, "NewMds");
  Check(catalog->mtdb_HasOpened() == 0, "a new catalog is closed");
  Check(set->HasOpened() == 0, "a new set is closed");

  NoConnectionDatabase database;
  Check(catalog->mtdb_Create(&database, "maps") == 5, "mtdb_Create hands back the result");
  Check(catalog->mtdb_Open(&database, 2, 0) == -1, "unknown catalog");
  Check(catalog->mtdb_Open(&database, 1, 0) == 0, "no connection handle");

  CBlobData blob;
  Check(blob.PutData("abc", 3) == 1 && blob.GetDataLength() == 3, "CBlobData");
  CSmartArray<std::int64_t> ids;
  Check(ids.Add(42) == 0 && ids.GetSize() == 1 && ids[0] == 42, "CSmartArray");

  Check(DeleteMds(catalog) == 1, "DeleteMds on a catalog");
  Check(DeleteMdb(set) == 1, "DeleteMdb on a set");
  if (failures == 0) std::printf("consumer: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
