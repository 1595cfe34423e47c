// Hostile search requests on a real database: quotes, comment markers,
// statement separators, UNION payloads, NUL bytes and 100 KB texts in the
// values, node paths, operators and expressions. No search may return an id
// that is not a record of the searched collection, and none may change a
// single row of any table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/corpus_collection.h"
#include "search/query_builder.h"
#include "search/statement_shape.h"

using search_test::CorpusCollection;

namespace {

const char* const kTitle = "/metadata/idinfo/citation/citeinfo/title";
const char* const kWest = "/metadata/idinfo/spdom/bounding/westbc";
const char* const kMetadataDate = "/metadata/metainfo/metd";

class HostileSearchTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { USE_CORPUS_COLLECTION(c, GetParam()); }

  // One number per table of the catalog and of both collections: row
  // counts and the total length of the stored texts.
  std::vector<std::int64_t> Fingerprint() {
    std::vector<std::string> queries;
    for (const char* table : {"KRDB_META_SCHEMA", "KRDB_META_SET", "KRDB_META_INFO"}) {
      queries.push_back("select count(*) from " + c->owner + "." + table);
    }
    for (std::int32_t id : {c->colID, c->otherID}) {
      const std::string n = std::to_string(id);
      for (const char* table : {"META_STRUCTINFO_", "META_NDTEXT_", "META_NDNUMBER_",
                                "META_NDDATETIME_", "META_ADDITIONAL_"}) {
        queries.push_back("select count(*) from " + c->owner + "." + table + n);
      }
      queries.push_back("select sum(length(NODEVALUE)) from " + c->owner + ".META_NDTEXT_" + n);
      queries.push_back("select sum(METAID) from " + c->owner + ".META_NDNUMBER_" + n);
    }
    std::vector<std::int64_t> numbers;
    for (const std::string& sql : queries) {
      CSmartArray<std::int64_t> ids;
      EXPECT_EQ(c->set.MetaSearch(sql.c_str(), ids), 1) << sql;
      numbers.push_back(ids.GetSize() == 1 ? ids[0] : -1);
    }
    return numbers;
  }

  // Runs one request; checks what it returned and what the builder wrote.
  void Attack(const std::string& expression, std::vector<SearchNode> conditions) {
    CSmartArray<std::int64_t> ids;
    ids.Add(-7);
    const std::int32_t rc = c->set.SearchMetaData(expression, conditions, ids);
    ASSERT_TRUE(rc == 0 || rc == 1);
    ASSERT_GE(ids.GetSize(), 1);
    EXPECT_EQ(ids[0], -7);
    if (rc == 0) {
      EXPECT_EQ(ids.GetSize(), 1) << "a failed search left ids behind";
    }
    for (std::int32_t i = 1; i < ids.GetSize(); ++i) {
      EXPECT_EQ(c->files.count(ids[i]), 1u) << "id " << ids[i] << " is no record of the collection";
    }
    ++searches;
    accepted += rc;

    CQueryBuilder builder(&c->set);
    std::string sql;
    if (builder.BuildSql(expression, conditions, sql) == 1) {
      const std::string fault = search_test::StatementShapeFault(sql, c->owner, c->colID);
      EXPECT_TRUE(fault.empty()) << fault << ": " << sql.substr(0, 400);
    }
  }

  CorpusCollection* c = nullptr;
  int searches = 0;
  int accepted = 0;
};

SearchNode Node(std::int32_t id, const std::string& path, const std::string& op,
                const std::string& value1, const std::string& value2 = "1") {
  SearchNode node;
  node.condID = id;
  node.nodePath = path;
  node.op = op;
  node.value1 = value1;
  node.value2 = value2;
  return node;
}

TEST_P(HostileSearchTest, NoRequestReachesAnotherCollectionOrChangesData) {
  const std::string other = c->owner + ".META_NDTEXT_" + std::to_string(c->otherID);
  const std::string big(100 * 1024, 'x');
  std::string bigQuotes;
  for (int i = 0; i < 20000; ++i) bigQuotes += "'; -- ";
  const std::vector<std::string> values = {
      "'",
      "''",
      "x' or '1'='1",
      "x' or 1=1 --",
      "'; delete from " + other + "; --",
      "%' union all select METAID from " + other + " --",
      "') union all select META_ID from " + c->owner + ".KRDB_META_INFO --",
      "\\'; drop table " + other + "; --",
      std::string("a\0' or '1'='1", 13),
      "/* ' */",
      "-- '",
      ";",
      "\"",
      "%",
      "_",
      "2001-01-01') or ('1'='1",
      "1 or 1=1",
      "1; delete from " + other,
      big,
      bigQuotes,
  };
  const std::vector<std::string> ops = {"=",
                                        "like",
                                        "between",
                                        "<>",
                                        ">=",
                                        "= '' or 1=1 --",
                                        "=1 union all select 1 --",
                                        "LIKE",
                                        "; delete from " + other + " --",
                                        "in",
                                        "is not null --",
                                        "",
                                        std::string("\0=", 2),
                                        "' or '"};
  const std::vector<std::string> paths = {kTitle, kWest, kMetadataDate};

  const std::vector<std::int64_t> before = Fingerprint();
  for (const std::string& path : paths) {
    for (const std::string& op : ops) {
      for (const std::string& value : values) {
        Attack("1", {Node(1, path, op, value, value)});
      }
    }
  }
  const SearchNode benign = Node(1, kTitle, "like", "a");
  const std::vector<std::string> hostilePaths = {
      std::string(kTitle) + "' or '1'='1",
      "'; drop table " + other + "; --",
      std::string(kTitle) + std::string("\0x", 2),
      "",
      "/metadata/idinfo/citation/citeinfo/title/../../../..",
      std::string(100 * 1024, '/'),
  };
  for (const std::string& path : hostilePaths) {
    Attack("1", {Node(1, path, "=", "a")});
    Attack("1 or 2", {benign, Node(2, path, "like", "a")});
  }
  std::string manyOr = "1";
  while (manyOr.size() < 100 * 1024) manyOr += " or 1";
  const std::vector<std::string> expressions = {
      "1; delete from " + other,
      "1 union all select METAID from " + other,
      "1 union all select META_ID from " + c->owner + ".KRDB_META_INFO",
      "1 -- ",
      "1 /* x */",
      "(1",
      "1)",
      std::string("1\0 or 2", 7),
      "1 intersect 1",
      "1 and",
      "or 1",
      "1 or 99",
      "99999999999999999999",
      manyOr,
  };
  for (const std::string& expression : expressions) Attack(expression, {benign});
  EXPECT_EQ(Fingerprint(), before);
  // Some of the requests were acceptable ones (quotes in text values) and ran.
  EXPECT_GT(accepted, 20) << "of " << searches;
}

METASHELF_ON_EVERY_BACKEND(HostileSearchTest);

}  // namespace
