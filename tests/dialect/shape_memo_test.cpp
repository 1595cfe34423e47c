// The shape memo: texts lifted through remembered shapes give exactly what
// lexing them gives, including texts built to move a token boundary, change
// a literal's kind or put a sign before it.
#include <gtest/gtest.h>

#include <random>

#include "dialect/dialect.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

// Lifts `text` through `memo` into `viaMemo` (which may hold an earlier
// text's lift, as a statement's scratch does) and through LiftLiterals; both
// must agree.
void ExpectSameAsLexing(ShapeMemo& memo, const std::string& text, Shaped& viaMemo) {
  Shaped lexed;
  std::string memoError, lexError;
  const bool memoOk = memo.Lift(text, &viaMemo, &memoError);
  const bool lexOk = LiftLiterals(text, &lexed, &lexError);
  ASSERT_EQ(memoOk, lexOk) << text;
  if (!lexOk) {
    EXPECT_EQ(memoError, lexError) << text;
    return;
  }
  EXPECT_EQ(viaMemo.key, lexed.key) << text;
  ASSERT_EQ(viaMemo.literals.size(), lexed.literals.size()) << text;
  for (std::size_t i = 0; i < lexed.literals.size(); ++i) {
    const Literal& a = viaMemo.literals[i];
    const Literal& b = lexed.literals[i];
    EXPECT_EQ(a.kind, b.kind) << text << " literal " << i;
    EXPECT_EQ(a.integer, b.integer) << text << " literal " << i;
    EXPECT_EQ(a.text, b.text) << text << " literal " << i;
    if (a.kind == Literal::Kind::kReal) {
      EXPECT_DOUBLE_EQ(a.real, b.real) << text;
    }
  }
  ASSERT_EQ(viaMemo.spans.size(), lexed.spans.size()) << text;
  for (std::size_t i = 0; i < lexed.spans.size(); ++i) {
    EXPECT_EQ(viaMemo.spans[i].begin, lexed.spans[i].begin) << text;
    EXPECT_EQ(viaMemo.spans[i].token, lexed.spans[i].token) << text;
    EXPECT_EQ(viaMemo.spans[i].end, lexed.spans[i].end) << text;
  }
}

void ExpectSameAsLexing(ShapeMemo& memo, const std::string& text) {
  Shaped fresh;
  ExpectSameAsLexing(memo, text, fresh);
}

TEST(ShapeMemo, RecognisesInsertsOfOneShape) {
  ShapeMemo memo;
  Shaped s;
  std::string error;
  const std::string head =
      "insert into O.META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) values(";
  ASSERT_TRUE(memo.Lift(head + "12, 3, 0,'first')", &s, &error));
  EXPECT_EQ(memo.hits(), 0u);
  ASSERT_TRUE(memo.Lift(head + "13, 40, 1,'it''s a ? and -- not a comment')", &s, &error));
  EXPECT_EQ(memo.hits(), 1u);
  EXPECT_EQ(s.key, head + "?, ?, ?,?)");
  ASSERT_EQ(s.literals.size(), 4u);
  EXPECT_EQ(s.literals[0].integer, 13);
  EXPECT_EQ(s.literals[1].integer, 40);
  EXPECT_EQ(s.literals[3].text, "it's a ? and -- not a comment");
  // Another shape in between does not push the first one out.
  ASSERT_TRUE(memo.Lift("delete from O.META_NDTEXT_7 where MetaID=5", &s, &error));
  ASSERT_TRUE(memo.Lift(head + "14, 41, 2,'third')", &s, &error));
  EXPECT_EQ(memo.hits(), 2u);
  EXPECT_EQ(s.literals[3].text, "third");
  // A sign that joins a number is part of the literal.
  const std::string number = "insert into O.META_NDNUMBER_7 values(15, 2, 0,-";
  ASSERT_TRUE(memo.Lift(number + "12.5)", &s, &error));
  ASSERT_TRUE(memo.Lift(number + "3)", &s, &error));
  EXPECT_EQ(memo.hits(), 3u);
  EXPECT_EQ(s.key, "insert into O.META_NDNUMBER_7 values(?, ?, ?,?)");
  ASSERT_EQ(s.literals.size(), 4u);
  EXPECT_EQ(s.literals[3].kind, Literal::Kind::kInt);
  EXPECT_EQ(s.literals[3].integer, -3);
}

TEST(ShapeMemo, TextsThatOnlyLookAlikeAreLexed) {
  ShapeMemo memo;
  const char* texts[] = {
      "insert into t values(1, 'a')",
      "insert into t values(1, '')",     // '' is NULL, not a value
      "insert into t values(1, N'a')",   // a national literal stays
      "insert into t values(1, X'0A')",  // a binary literal stays
      "insert into t values(1.5e3, 'a')",
      "insert into t values(.5, 'a')",
      "insert into t values(1e999, 'a')",  // out of range: stays in the text
      "insert into t values(99999999999999999999, 'a')",
      "insert into t values(1, 2)",      // a number where a text was
      "insert into t values('1', 'a')",  // a text where a number was
      "insert into t values(1, 'a' )",
      "insert into t values(1, 'a')  ",
      "insert into t values(1, 'a'",
      "insert into t values(1, 'unterminated)",
      "insert into t values(1, 'a') -- note",
      "insert into t values(1, 'a?')",
      "insert into t values(1, ?)",
      "select a from t where b = 5 order by 1",
      "select a from t where b = 6 order by 2",
      "select a from t where b = - 5",  // a sign joins the number
      "select a from t where b = - 6",
      "select a from t where b = -'x'",
      "select a from t where b = -7",
      "select a from t where b - 5 > 0",
      "select a from t where b =5",
      "select a from t where b =5e",
      "select a from t where b =5e+",
      "select a from t where b =5e+1",
      "select a from t where b =5.",
      "select a from t where b =5..5",
      "select a from t where b=to_date('2001-01-01','YYYY-MM-DD')",
      "select a from t where b=to_date('2002-02-02','YYYY-MM-DD')",
      "select a from t where b=to_date('2002-02-02','DD-MM-YYYY')",
      "select a from t where b = :1 and c = 3",
      "select a from t where b = :2 and c = 3",
      "select a from t where b=c.5",  // a word, then a number
      "select a from t where b=c5",   // one word
      "select a from t where b=c'5'",
      "CREATE TABLE t(a VARCHAR2(4000))",
      "CREATE TABLE t(a VARCHAR2(2000))",
  };
  for (const char* text : texts) ExpectSameAsLexing(memo, text);
  // Twice over: every text now meets remembered shapes first.
  for (const char* text : texts) ExpectSameAsLexing(memo, text);
  EXPECT_GT(memo.hits(), 0u);
}

// Texts made from a few templates with literal slots filled from a pool of
// tokens chosen to sit against the neighbouring bytes: every one must lift
// as lexing lifts it.
TEST(ShapeMemo, AgreesWithLexingOnGeneratedTexts) {
  const std::vector<std::vector<std::string>> templates = {
      {"insert into t(a,b,c) values(", ", ", ",", ")"},
      {"select x from t where a=", " and b >", " or c like ", ""},
      {"update t set a=", ", b=", " where c=", " and d=TO_DATE(", ",'YYYY')"},
      {"select x from t where a in (", ",", ") and b=-", " order by ", ""},
      {"insert into t values(", "", " ", "e", ")"},
      {"select :a", " from t where b=N", " and c=X", "--", "\n"},
  };
  // Mostly the slot's usual kind of value (a number in odd slots, a text in
  // even ones), so that shapes recur; otherwise any value or awkward token.
  const std::vector<std::string> values = {"1",     "42",  "0.5",    ".5",  "5.",   "1e3",
                                           "2E-2",  "'a'", "'x''y'", "'?'", "'--'", "''''",
                                           "00012", "-3",  "- 4",    "+7",  "'0A'", "'e5'"};
  const std::vector<std::string> awkward = {
      "1e",    "1e+",   "''",    "1e999", "9223372036854775808",
      "a",     "?",     ":1",    "(",     ")",
      "'open", "/*c*/", "--c\n", "+",     " ",
      "",      ".",     "..",    "0",     "'a''",
      "N'z'",  "e5",    "1.2.3", "-",     "--",
      "x'0A'"};
  std::mt19937 random(20261208);
  ShapeMemo memo(4);
  // A second memo lifts every text into one reused result, whose literals
  // from the previous text (of another count and kind) must not leak.
  ShapeMemo reusingMemo(3);
  Shaped reused;
  for (int round = 0; round < 20000; ++round) {
    const auto& parts = templates[random() % templates.size()];
    std::string text = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const unsigned pick = random() % 10;
      if (pick < 8) {
        text += i % 2 == 1 ? std::to_string(random() % 100000)
                           : "'v" + std::string(random() % 3, '\'') +
                                 std::string(random() % 3, '\'') + "w'";
      } else if (pick == 8) {
        text += values[random() % values.size()];
      } else {
        text += awkward[random() % awkward.size()];
      }
      text += parts[i];
    }
    ExpectSameAsLexing(memo, text);
    ExpectSameAsLexing(reusingMemo, text, reused);
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(memo.hits(), 1000u);
  EXPECT_GT(reusingMemo.hits(), 500u);
}

}  // namespace
}  // namespace dialect
}  // namespace driver
}  // namespace metashelf
