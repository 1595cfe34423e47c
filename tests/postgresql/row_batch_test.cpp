// Which single-row inserts may be sent several rows at a time, and the text
// that sends them: the row is repeated with its parameters renumbered, and
// anything that could read a table or hide a second statement keeps the
// text to one row per statement.
#include "backends/postgresql/row_batch.h"

#include <gtest/gtest.h>

namespace metashelf {
namespace testing {
namespace {

using driver::postgresql::MultiRowText;
using driver::postgresql::RowShape;
using driver::postgresql::SplitSingleRowInsert;

TEST(RowBatchText, OnlyPlainSingleRowInsertsAreRepeated) {
  struct Case {
    const char* text;
    int params;
    const char* twoRows;  // null: not split
    const char* target = "T";
  };
  const Case cases[] = {
      {"insert into o.t (a,b) values($1, $2)", 2, "insert into o.t (a,b) values ($1, $2), ($3, $4)",
       "O.T"},
      {"INSERT INTO o.t VALUES ($1, 'it''s $1', \"Q\"\"x\", $2::numeric)", 2,
       "INSERT INTO o.t VALUES ($1, 'it''s $1', \"Q\"\"x\", $2::numeric), "
       "($3, 'it''s $1', \"Q\"\"x\", $4::numeric)",
       "O.T"},
      {"insert into t(a) values(coalesce(to_timestamp($1, 'YYYY'), now()))", 1,
       "insert into t(a) values (coalesce(to_timestamp($1, 'YYYY'), now())), "
       "(coalesce(to_timestamp($2, 'YYYY'), now()))"},
      {"insert into t(a,b) values($1, $10)", 10, "insert into t(a,b) values ($1, $10), ($11, $20)"},
      {"insert into t(a) values(box(point($1,$2),point($3,$4)))", 4,
       "insert into t(a) values (box(point($1,$2),point($3,$4))), "
       "(box(point($5,$6),point($7,$8)))"},
      {"insert into t(a) values($1) returning a", 1, nullptr},
      {"insert into t(a) values($1) on conflict do nothing", 1, nullptr},
      {"insert into t(a) values($1), ($2)", 2, nullptr},
      {"insert into t(a) values((select max(a) from t) + $1)", 1, nullptr},
      {"insert into t(a) values(f($1))", 1, nullptr},
      {"insert into t(a) select $1", 1, nullptr},
      {"insert into t default values", 0, nullptr},
      {"insert into t(a) values($1); delete from t", 1, nullptr},
      {"insert into t(a) values(E'\\\\', $1)", 1, nullptr},
      {"insert into t(a) values($$x$$, $1)", 1, nullptr},
      {"insert into t(a) values($1) -- c", 1, nullptr},
      {"insert into t(a) values($2)", 1, nullptr},
      {"insert into t($1) values(1)", 1, nullptr},
      {"update t set a = $1", 1, nullptr},
      {"insert into t(a) values('unclosed, $1)", 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RowShape shape;
    const bool split = SplitSingleRowInsert(c.text, c.params, &shape);
    ASSERT_EQ(split, c.twoRows != nullptr);
    if (split) {
      EXPECT_EQ(MultiRowText(shape, c.params, 2), c.twoRows);
      EXPECT_EQ(shape.target, c.target);
    }
  }
}

}  // namespace
}  // namespace testing
}  // namespace metashelf
