// Lifting literals: texts that differ only in values share one key; values
// that shape a statement stay in place.
#include <gtest/gtest.h>

#include "dialect/dialect.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

TEST(LiftLiterals, InsertsOfOneShapeShareAKey) {
  Shaped a, b;
  std::string error;
  ASSERT_TRUE(LiftLiterals(
      "insert into O.META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) values(12, 3, 0,'it''s')",
      &a, &error));
  ASSERT_TRUE(LiftLiterals(
      "insert into O.META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) values(99, -4, 1,'x')", &b,
      &error));
  EXPECT_EQ(a.key, b.key);
  EXPECT_EQ(a.key,
            "insert into O.META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) values(?, ?, ?,?)");
  ASSERT_EQ(a.literals.size(), 4u);
  EXPECT_EQ(a.literals[3].text, "it's");
  ASSERT_EQ(b.literals.size(), 4u);
  EXPECT_EQ(b.literals[1].kind, Literal::Kind::kInt);
  EXPECT_EQ(b.literals[1].integer, -4);
}

TEST(LiftLiterals, ShapingValuesStay) {
  Shaped s;
  std::string error;
  ASSERT_TRUE(
      LiftLiterals("select a, b - 1 from t where c = 2.5 and d = '' order by 1", &s, &error));
  EXPECT_EQ(s.key, "select a, b - ? from t where c = ? and d = '' order by 1");
  ASSERT_TRUE(LiftLiterals(
      "select to_char(d,'YYYY-MM-DD') from t where e=to_date('2001-01-01','YYYY-MM-DD')", &s,
      &error));
  EXPECT_EQ(s.key, "select to_char(d,'YYYY-MM-DD') from t where e=to_date(?,'YYYY-MM-DD')");
  ASSERT_TRUE(
      LiftLiterals("select 1 from t where left(v,512) in (select left(v, 512) from u "
                   "where w=left('abc',2))",
                   &s, &error));
  EXPECT_EQ(s.key,
            "select ? from t where left(v,512) in (select left(v, 512) from u "
            "where w=left(?,2))");
  ASSERT_TRUE(LiftLiterals("CREATE TABLE t(a VARCHAR2(4000))", &s, &error));
  EXPECT_EQ(s.key, "CREATE TABLE t(a VARCHAR2(4000))");
  EXPECT_TRUE(s.literals.empty());
  EXPECT_FALSE(LiftLiterals("select ? from t", &s, &error));
  EXPECT_TRUE(LiftLiterals("select '?' from t", &s, &error));
}

TEST(LiftLiterals, LiftedFormAdaptsWithLiteralParameters) {
  Shaped s;
  std::string error;
  ASSERT_TRUE(LiftLiterals("update t set a=:1, b='x' where c=5", &s, &error));
  Adapted a;
  ASSERT_TRUE(Adapt(s.key, Target::kSQLite, &a, &error)) << error;
  EXPECT_EQ(a.text, "update t set a=?1, b=?2 where c=?3");
  ASSERT_EQ(a.params.size(), 3u);
  EXPECT_EQ(a.params[0].kind, ParamSource::Kind::kCaller);
  EXPECT_EQ(a.params[1].kind, ParamSource::Kind::kLiteral);
  EXPECT_EQ(a.params[1].index, 0);
  EXPECT_EQ(a.params[2].index, 1);
}

}  // namespace
}  // namespace dialect
}  // namespace driver
}  // namespace metashelf
