// Every exported entry point keeps an exception from crossing it: the
// allocator of this test binary is made to fail at the Nth allocation of one
// call, for every N until the call completes, and each call must come back
// with its success or its failure result, never with an exception.
#include "metashelf/base/guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "backends/scripted/scripted.h"
#include "metashelf/metashelf.h"
#include "support/fake_database.h"

namespace {

// Allocations left before the next one fails; negative when none fails.
long g_allocationsLeft = -1;

}  // namespace

void* operator new(std::size_t size) {
  if (g_allocationsLeft == 0) {
    g_allocationsLeft = -1;
    throw std::bad_alloc();
  }
  if (g_allocationsLeft > 0) --g_allocationsLeft;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
// Every other plain form goes through the two above, so that what one form
// allocates any form frees (the sanitizer checks that they match).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace {

using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

// What one entry point call sees: a fresh scripted connection with a
// statement on it, a host database object with catalog 7, a catalog handle
// open on it.
struct World {
  ScriptedDriver driver;
  FakeDatabase database{driver.hdbc()};
  COraMetaDataBase catalog;
  gis_SQLHSTMT stmt = nullptr;
  World() {
    database.AddCatalog(7, "GEO");
    catalog.mtdb_Open(&database, 7, 0);
    driver.OnExecute("COUNT").Rows({{Value::Int(2)}}).Times(-1);
    driver.OnExecute("SELECT").Rows({{Value::Int(5)}, {Value::Int(6)}}).Times(-1);
    gis_SQLAllocStmt(driver.hdbc(), &stmt);
  }
  ~World() { gis_SQLFreeStmt(stmt, GIS_SQL_DROP); }
};

// Runs `call` with allocation N failing, for N = 0, 1, ... until a run
// completes with none failing. A run where an allocation failed must give
// `failure` or `success` (the call may recover), one where none failed
// `success`; the run where the first allocation fails must give `failure`.
void CheckEveryFailurePoint(const char* name, long success, long failure,
                            const std::function<long(World&)>& call) {
  SCOPED_TRACE(name);
  for (long n = 0; n < 100000; ++n) {
    World world;
    long result = 0;
    bool escaped = false;
    g_allocationsLeft = n;
    try {
      result = call(world);
    } catch (...) {
      escaped = true;
    }
    const bool failed = g_allocationsLeft == -1;
    g_allocationsLeft = -1;
    ASSERT_FALSE(escaped) << "an exception crossed the entry point at allocation " << n;
    if (!failed) {
      EXPECT_EQ(result, success) << "with every allocation served";
      EXPECT_GT(n, 0) << "the call allocates nothing: the check proves nothing";
      return;
    }
    EXPECT_TRUE(result == success || result == failure) << "allocation " << n << ": " << result;
    if (n == 0) {
      EXPECT_EQ(result, failure) << "the first allocation failed";
    }
  }
  ADD_FAILURE() << "never completed";
}

TEST(GuardTest, NoExceptionCrossesAnEntryPoint) {
  CheckEveryFailurePoint("NewMdb", 1, 0, [](World&) -> long {
    CMetaDataBase_abs* made = nullptr;
    const int r = NewMdb(&made);
    if (made != nullptr) DeleteMdb(made);
    return r;
  });
  CheckEveryFailurePoint("NewMds", 1, 0, [](World&) -> long {
    CMetaDataSet_abs* made = nullptr;
    const int r = NewMds(&made);
    if (made != nullptr) DeleteMds(made);
    return r;
  });
  CheckEveryFailurePoint("schema_IsExist", 1, 0,
                         [](World& w) -> long { return w.catalog.schema_IsExist("FGDC"); });
  CheckEveryFailurePoint("meta_GetNum", 1, 0, [](World& w) -> long {
    std::int32_t count = 0;
    return w.catalog.meta_GetNum(3, &count);
  });
  CheckEveryFailurePoint("mds_GetIDList", 1, 0, [](World& w) -> long {
    CSmartArray<std::int32_t> ids;
    return w.catalog.mds_GetIDList(ids);
  });
  CheckEveryFailurePoint("schema_GetIDList", 1, 0, [](World& w) -> long {
    CSmartArray<std::int32_t> ids;
    return w.catalog.schema_GetIDList(ids);
  });
  CheckEveryFailurePoint("CBaseMetaData::LoadXml", 1, 0, [](World&) -> long {
    static const char kXml[] = "<rec><title>water</title></rec>";
    CBaseMetaData record(nullptr);
    return record.LoadXml(kXml, sizeof kXml - 1);
  });
  CheckEveryFailurePoint("CSchema::SetSchemaDoc", 1, 0, [](World&) -> long {
    CSchema schema;
    return schema.SetSchemaDoc("<schemaText name='a long enough schema document'/>");
  });
  CheckEveryFailurePoint("gis_SQLAllocStmt", GIS_SQL_SUCCESS, GIS_SQL_ERROR, [](World& w) -> long {
    gis_SQLHSTMT stmt = nullptr;
    const std::int16_t r = gis_SQLAllocStmt(w.driver.hdbc(), &stmt);
    if (stmt != nullptr) gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return r;
  });
  CheckEveryFailurePoint("gis_SQLExecDirect", GIS_SQL_SUCCESS, GIS_SQL_ERROR, [](World& w) -> long {
    return gis_SQLExecDirect(w.stmt, "SELECT A FROM T", GIS_SQL_NTS);
  });
}

// A failure that must leave a state behind: the handler runs when the body
// threw, never otherwise, and a handler that throws in turn still gives the
// failure result.
TEST(GuardTest, TheFailureHandlerRunsOnlyOnAFailure) {
  int handled = 0;
  const auto handler = [&handled] { ++handled; };
  EXPECT_EQ(metashelf::base::Guard<int>(
                -1, []() -> int { throw std::bad_alloc(); }, handler),
            -1);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(metashelf::base::Guard<int>(
                -1, [] { return 5; }, handler),
            5);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(metashelf::base::Guard<int>(
                -1, []() -> int { throw 1; }, [] { throw 2; }),
            -1);
}

}  // namespace
