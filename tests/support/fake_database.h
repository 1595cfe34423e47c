// A host database object for unit tests: a catalog table in memory, a
// connection handle that the test supplies (usually a scripted driver's),
// and counters of what the catalog asked.
#ifndef METASHELF_TESTS_SUPPORT_FAKE_DATABASE_H_
#define METASHELF_TESTS_SUPPORT_FAKE_DATABASE_H_

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "metashelf/host_database.h"

class FakeDatabase : public CBas_GDataBase, public Cora_IDataBase, public Cora_IConnection {
 public:
  explicit FakeDatabase(gis_SQLHDBC_STRU* hdbc = nullptr) : hdbc_(hdbc) {}

  // Catalog `id` exists with `owner`.
  void AddCatalog(std::int32_t id, const std::string& owner) { catalogs_[id] = owner; }
  void SetHandle(gis_SQLHDBC_STRU* hdbc) { hdbc_ = hdbc; }
  void SetNextId(std::int32_t id) { next_id_ = id; }
  void SetCreateResult(std::int32_t r) { create_result_ = r; }
  void SetOwner(const std::string& owner) { owner_ = owner; }

  int db_GetMtdbInfo(std::int32_t id, unsigned char* record) override {
    ++lookups;
    auto it = catalogs_.find(id);
    if (it == catalogs_.end()) return 0;
    // Writes the name as it is, however long, up to the record's end.
    const std::size_t room = kMtdbInfoRecordSize - kMtdbInfoOwnerOffset;
    std::memcpy(record + kMtdbInfoOwnerOffset, it->second.data(),
                it->second.size() < room ? it->second.size() : room);
    return 1;
  }
  std::int32_t db_CreateMtdb(const char* name) override {
    created_name = name != nullptr ? name : "";
    return create_result_;
  }
  std::int32_t db_DeleteMtdb(std::int32_t id) override {
    deleted.push_back(id);
    return catalogs_.erase(id) > 0 ? 1 : 0;
  }
  Cora_IConnection* db_GetConnection() override { return this; }
  const char* db_GetOwner() override { return owner_.c_str(); }

  gis_SQLHDBC_STRU* HDBC() override { return hdbc_; }
  std::int32_t db_GetFreeXCLSID() override { return next_id_++; }

  gis_SQLHDBC_STRU* GetHandle(int a, int b, int c, int d) override {
    return (a == 0 && b == -1 && c == 0 && d == 0) ? hdbc_ : nullptr;
  }

  int lookups = 0;
  std::string created_name;
  std::vector<std::int32_t> deleted;

 private:
  gis_SQLHDBC_STRU* hdbc_;
  std::map<std::int32_t, std::string> catalogs_;
  std::int32_t next_id_ = 1000;
  std::int32_t create_result_ = 1;
  std::string owner_ = "GEO";
};

#endif  // METASHELF_TESTS_SUPPORT_FAKE_DATABASE_H_
