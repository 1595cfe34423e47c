// Which PostgreSQL server the tests use: the one METASHELF_PG_CONNINFO names
// (scripts/with-postgres.sh starts one and sets it), else the one the CTest
// fixture started in this build (METASHELF_PG_FIXTURE_CONNINFO, set on every
// test by CTest). None when METASHELF_SKIP_POSTGRESQL=1.
#ifndef METASHELF_TESTS_SUPPORT_PG_SERVER_H_
#define METASHELF_TESTS_SUPPORT_PG_SERVER_H_

#include <cstdlib>
#include <string>

namespace metashelf {
namespace testing {

// The server's conninfo; nullptr when this run has none.
inline const char* PgServerConninfo() {
  const char* skip = std::getenv("METASHELF_SKIP_POSTGRESQL");
  if (skip != nullptr && std::string(skip) == "1") return nullptr;
  for (const char* name : {"METASHELF_PG_CONNINFO", "METASHELF_PG_FIXTURE_CONNINFO"}) {
    const char* conninfo = std::getenv(name);
    if (conninfo != nullptr && *conninfo != '\0') return conninfo;
  }
  return nullptr;
}

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_PG_SERVER_H_
