// CQueryBuilder: turns a search expression over numbered conditions into
// one SELECT over a collection's value tables. Each condition becomes a
// sub-select of the META ids whose value of one schema node passes its
// comparison; "and" joins sub-selects with INTERSECT and "or" with UNION ALL,
// and blanks and parentheses of the expression stay where they stand.
//
// A builder writes text only and runs nothing. It reads the set's schema,
// collection id and owner through the set's public accessors, and keeps
// nothing between calls.
#ifndef METASHELF_SRC_SEARCH_QUERY_BUILDER_H_
#define METASHELF_SRC_SEARCH_QUERY_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/records.h"

class COraMetaDataSet;
namespace metashelf {
namespace search {
class SearchIndex;
}  // namespace search
}  // namespace metashelf

class CQueryBuilder {
 public:
  // `set` is not owned and must outlive the builder.
  explicit CQueryBuilder(COraMetaDataSet* set) : set_(set) {}
  virtual ~CQueryBuilder() = default;
  CQueryBuilder(const CQueryBuilder&) = delete;
  CQueryBuilder& operator=(const CQueryBuilder&) = delete;

  // Writes the statement for `expression` over `conditions` into `sql` and
  // returns 1. Returns 0 and leaves `sql` unchanged when the expression or
  // the vector is empty, the expression holds anything but condition
  // numbers, blanks, parentheses, "and" and "or", a number names no
  // condition, or a condition it names cannot be written (no schema, a node
  // path the schema does not know, a table type other than 1-3, an operator
  // or a value that its node cannot take).
  std::int32_t BuildSql(const std::string& expression, const std::vector<SearchNode>& conditions,
                        std::string& sql);

  // Replaces every occurrence of `from` in `text` by `to`, each search
  // starting again from the first place a new occurrence could begin, so
  // the result is that of restarting at the beginning of the text. An empty
  // `from` changes nothing. When `to` contains `from`, one left-to-right
  // pass is made (restarting would never end). Returns 1.
  std::int32_t ReplaceAll(std::string& text, const std::string& from, const std::string& to);

  // The comparison text of `node`, each value written between `before` and
  // `after`: " between " v1 " And " v2, " like " with "%" on both sides of
  // v1, or the operator directly followed by v1. Single quotes in the
  // values are doubled. The caller has checked the operator and values.
  std::string BuildValueCondition(const std::string& before, const std::string& after,
                                  const SearchNode& node);

  // With the collection's search indexes, conditions may also be free text
  // (op "text") or boxes (op "intersects", "within"), and a `like` of three
  // characters or more is narrowed by the substring index before its exact
  // test. Not owned; null (the default) writes value conditions only.
  void SetSearchIndex(metashelf::search::SearchIndex* index) { index_ = index; }

 private:
  std::int32_t Build(const std::string& expression, const std::vector<SearchNode>& conditions,
                     std::string& sql);
  // The sub-select of one condition; false when it cannot be written.
  bool BuildSubSelect(const SearchNode& node, std::string* out);

  // The sub-select of a free-text or box condition; false when refused.
  bool BuildIndexSubSelect(const SearchNode& node, std::string* out);

  COraMetaDataSet* set_;
  metashelf::search::SearchIndex* index_ = nullptr;
};

#endif  // METASHELF_SRC_SEARCH_QUERY_BUILDER_H_
