// The search form's conditions reach the server as the tool's numbered
// conditions and expression; the expression becomes the same and/or tree
// the database would evaluate, and anything malformed is refused.
#include "pages/where_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using metashelf::server::Filter;
using metashelf::server::pages::ExpressionTree;

namespace {

// The tree written back as text: leaves by their property, groups in
// parentheses.
std::string Show(const Filter& f) {
  if (f.kind != Filter::Kind::kAnd && f.kind != Filter::Kind::kOr) return f.property;
  std::string out = "(";
  for (std::size_t i = 0; i < f.children.size(); ++i) {
    if (i > 0) out += f.kind == Filter::Kind::kAnd ? " and " : " or ";
    out += Show(f.children[i]);
  }
  return out + ")";
}

}  // namespace

TEST(PagesWhereTest, ExpressionsBecomeTreesOrAreRefused) {
  std::vector<Filter> leaves(3);
  leaves[0].property = "a";
  leaves[1].property = "b";
  leaves[2].property = "c";
  for (Filter& f : leaves) f.kind = Filter::Kind::kCompare;
  const struct {
    const char* expression;
    const char* tree;  // null: refused
  } cases[] = {
      {"1", "a"},
      {"1 and 2", "(a and b)"},
      {"1 or 2 and 3", "(a or (b and c))"},
      {"(1 or 2) and 3", "((a or b) and c)"},
      {" ( ( 3 ) ) ", "c"},
      {"1 and (2 or 3)", "(a and (b or c))"},
      {"", nullptr},
      {"0", nullptr},
      {"4", nullptr},
      {"1 and", nullptr},
      {"(1", nullptr},
      {"1 2", nullptr},
      {"1 andy 2", nullptr},
      {"1 or or 2", nullptr},
      {"99999999999999999999", nullptr},
  };
  for (const auto& c : cases) {
    Filter out;
    const bool ok = ExpressionTree(c.expression, leaves, &out);
    EXPECT_EQ(ok, c.tree != nullptr) << c.expression;
    if (ok && c.tree != nullptr) {
      EXPECT_EQ(Show(out), c.tree) << c.expression;
    }
  }
  // Nesting beyond the filter depth bound is refused, not followed.
  std::string deep(40, '(');
  deep += "1" + std::string(40, ')');
  Filter out;
  EXPECT_FALSE(ExpressionTree(deep, leaves, &out));
}
