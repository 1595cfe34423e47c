// Fuzz entry point for the search statement builder. The input is lines:
// the expression, then conditions of five lines each (number, node path,
// operator, first value, second value). Whatever the input, a statement the
// builder accepts must keep its shape: sub-selects of the one collection
// joined by set operators, every value inside a closed literal.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "search/query_builder.h"
#include "search/set_access.h"
#include "search/statement_shape.h"
#include "search/test_schema.h"

namespace {

std::vector<std::string> Lines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(data[i]);
    }
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<CSchema> schema =
      search_test::LoadSchema(search_test::kTestSchemaText, 1200);
  if (!schema) std::abort();
  const std::vector<std::string> lines = Lines(data, size);
  std::vector<SearchNode> conditions;
  for (std::size_t i = 1; i + 4 < lines.size(); i += 5) {
    SearchNode node;
    node.condID = std::atoi(lines[i].c_str());
    node.nodePath = lines[i + 1];
    node.op = lines[i + 2];
    node.value1 = lines[i + 3];
    node.value2 = lines[i + 4];
    conditions.push_back(node);
  }

  COraMetaDataSet set;
  FillSetContext(set, nullptr, "GEO", 7, schema.get());
  CQueryBuilder builder(&set);
  std::string sql;
  const std::int32_t rc = builder.BuildSql(lines[0], conditions, sql);
  ReleaseSetSchema(set);
  if (rc == 1) {
    const std::string fault = search_test::StatementShapeFault(sql);
    if (!fault.empty()) {
      std::fprintf(stderr, "statement out of shape (%s): %s\n", fault.c_str(), sql.c_str());
      std::abort();
    }
  }
  return 0;
}
