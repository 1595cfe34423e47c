// The search statement: expression scan, keyword replacement, one
// sub-select per condition number, assembly.
#include "search/query_builder.h"

#include <cstring>

#include "metashelf/base/calendar.h"
#include "metashelf/base/guard.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadataset.h"
#include "search/index_text.h"
#include "search/request_checks.h"
#include "search/search_index.h"

namespace {

using metashelf::base::QuoteDoubled;
using metashelf::search::IsAcceptedExpression;
using metashelf::search::IsAcceptedOperator;
using metashelf::search::ParseConditionNumber;

struct TableKind {
  const char* stem;    // value table name without the collection id
  const char* before;  // written in front of each value
  const char* after;   // written after each value
};

// Indexed by table type 1 (text), 2 (number), 3 (date).
const TableKind kTableKinds[] = {
    {"META_NDTEXT_", "'", "'"},
    {"META_NDNUMBER_", "", ""},
    {"META_NDDATETIME_", "TO_DATE('", "','YYYY-MM-DD')"},
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool HasNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

// Whether a value of a node of `tableType` may be compared as `node` asks.
bool ValuesFit(short tableType, const SearchNode& node) {
  if (!IsAcceptedOperator(node.op) || HasNul(node.value1)) return false;
  const bool range = node.op == "between";
  if (range && HasNul(node.value2)) return false;
  switch (tableType) {
    case kTableTypeText:
      return true;
    case kTableTypeNumber:
      return node.op != "like" && metashelf::base::IsDecimalNumber(node.value1) &&
             (!range || metashelf::base::IsDecimalNumber(node.value2));
    case kTableTypeDate:
      return node.op != "like" && metashelf::base::IsCalendarDate(node.value1) &&
             (!range || metashelf::base::IsCalendarDate(node.value2));
    default:
      return false;
  }
}

// One condition number of the expression and where it stands.
struct NumberAt {
  std::size_t position;
  std::size_t length;
  std::string subSelect;
};

}  // namespace

std::int32_t CQueryBuilder::BuildSql(const std::string& expression,
                                     const std::vector<SearchNode>& conditions, std::string& sql) {
  // Memory running out while the texts grow refuses the request; `sql` is
  // only written at the end.
  return metashelf::base::Guard<std::int32_t>(0,
                                              [&] { return Build(expression, conditions, sql); });
}

std::int32_t CQueryBuilder::Build(const std::string& expression,
                                  const std::vector<SearchNode>& conditions, std::string& sql) {
  if (expression.empty() || conditions.empty()) return 0;
  // Only numbers, blanks, parentheses and the two words reach the
  // statement, so nothing in an expression can add to or end it.
  if (!IsAcceptedExpression(expression)) return 0;

  // The replacements and the scan below see the expression alone: the
  // sub-selects are put in afterwards, so their words and digits are never
  // rewritten or taken for condition numbers.
  std::string work = expression;
  ReplaceAll(work, "and", "intersect");
  ReplaceAll(work, "or", "union all");

  std::vector<NumberAt> numbers;
  std::size_t at = 0;
  while ((at = work.find_first_of("0123456789", at)) != std::string::npos) {
    std::size_t end = at;
    while (end < work.size() && IsDigit(work[end])) ++end;
    std::int32_t number = 0;
    if (!ParseConditionNumber(work.data() + at, end - at, &number)) return 0;
    const SearchNode* match = nullptr;
    for (const SearchNode& node : conditions) {
      if (node.condID == number) {
        match = &node;
        break;
      }
    }
    if (match == nullptr) return 0;
    NumberAt found{at, end - at, std::string()};
    if (!BuildSubSelect(*match, &found.subSelect)) return 0;
    numbers.push_back(std::move(found));
    at = end;
  }

  std::string out;
  std::size_t copied = 0;
  for (const NumberAt& number : numbers) {
    out.append(work, copied, number.position - copied);
    out += number.subSelect;
    copied = number.position + number.length;
  }
  out.append(work, copied, std::string::npos);
  sql = std::move(out);
  return 1;
}

std::int32_t CQueryBuilder::ReplaceAll(std::string& text, const std::string& from,
                                       const std::string& to) {
  if (from.empty()) return 1;
  // Restarting at the beginning after each replacement finds the leftmost
  // occurrence of the text as it now stands. The text left of a replacement
  // held none, so a new one can only begin in the from.size()-1 bytes before
  // the replacement or inside it; that stretch is looked at first, then the
  // rest is searched. The output is built once, so the cost stays linear.
  const bool restart = to.find(from) == std::string::npos;
  const std::size_t reach = from.size() - 1;
  std::string out;
  out.reserve(text.size());
  std::size_t next = 0;             // first byte of `text` not yet consumed
  std::size_t mark = 0;             // occurrences in `out` can only begin at or after it
  auto put = [&](std::size_t at) {  // the replacement, at `at` in `out`
    out.resize(at);
    out += to;
    mark = at > reach ? at - reach : 0;
  };
  for (;;) {
    if (restart && mark < out.size()) {
      const std::string window = out.substr(mark) + text.substr(next, reach);
      const std::size_t at = window.find(from);
      if (at != std::string::npos && mark + at < out.size()) {
        const std::size_t start = mark + at;
        const std::size_t end = start + from.size();
        next += end > out.size() ? end - out.size() : 0;
        put(start);
        continue;
      }
    }
    const std::size_t at = text.find(from, next);
    if (at == std::string::npos) break;
    out.append(text, next, at - next);
    next = at + from.size();
    put(out.size());
  }
  out.append(text, next, std::string::npos);
  text = std::move(out);
  return 1;
}

std::string CQueryBuilder::BuildValueCondition(const std::string& before, const std::string& after,
                                               const SearchNode& node) {
  std::string text;
  if (node.op == "between") {
    text += " between ";
    text += before + QuoteDoubled(node.value1) + after;
    text += " And ";
    text += before + QuoteDoubled(node.value2) + after;
  } else if (node.op == "like") {
    // The value is the text searched for: a % or _ in it is itself, not a
    // wildcard. Only then is it escaped and the escape clause written, so
    // that every other text stays as it was.
    const bool escape = node.value1.find_first_of("%_") != std::string::npos;
    std::string value;
    for (const char c : node.value1) {
      if (escape && (c == '%' || c == '_' || c == '\\')) value += '\\';
      value += c;
    }
    text += " like ";
    text += before + "%" + QuoteDoubled(value) + "%" + after;
    if (escape) text += " escape '\\'";
  } else {
    text += node.op;
    text += before + QuoteDoubled(node.value1) + after;
  }
  return text;
}

bool CQueryBuilder::BuildIndexSubSelect(const SearchNode& node, std::string* out) {
  if (HasNul(node.value1)) return false;
  if (node.op == "text") {
    std::vector<metashelf::search::TextTerm> terms;
    if (!metashelf::search::ParseTextQuery(node.value1, &terms)) return false;
    *out = index_->TextIds(terms);
    return !out->empty();
  }
  metashelf::search::GeoBox box;
  if (!metashelf::search::ParseBox(node.value1, &box)) return false;
  *out = index_->BoxIds(box, node.op == "within");
  return true;
}

bool CQueryBuilder::BuildSubSelect(const SearchNode& node, std::string* out) {
  if (set_ == nullptr) return false;
  if (node.op == "text" || node.op == "intersects" || node.op == "within") {
    return index_ != nullptr && BuildIndexSubSelect(node, out);
  }
  CSchema* schema = nullptr;
  if (set_->GetCSchemaPtr(&schema) == 0 || schema == nullptr) return false;
  // A path with a NUL would be looked up cut short, as another node.
  if (HasNul(node.nodePath)) return false;
  CNodeInfo info;
  if (schema->GetNodeInfoByPath(node.nodePath.c_str(), &info) == 0) return false;
  std::int32_t guid = 0;
  short tableType = 0;
  info.GetNodeGUID(guid);
  info.GetTableType(tableType);
  if (tableType < kTableTypeText || tableType > kTableTypeDate) return false;
  if (!ValuesFit(tableType, node)) return false;

  const TableKind& kind = kTableKinds[tableType - 1];
  // With the substring index, the node's values that may hold the value
  // are found first, their rows through the node's value index, and the
  // value test below decides among them.
  std::string candidates;
  if (index_ != nullptr && node.op == "like") {
    candidates = index_->SubstringCandidates(guid, node.value1);
  }
  std::string text = "select distinct METAID from ";
  text += set_->GetOwner();
  text += ".";
  text += kind.stem;
  text += std::to_string(set_->GetMdsID());
  text += " where NODEGUID=";
  text += std::to_string(guid);
  if (!candidates.empty()) text += " and " + candidates;
  text += " and NODEVALUE";
  text += BuildValueCondition(kind.before, kind.after, node);
  if (index_ != nullptr && tableType == kTableTypeDate) {
    // Dates of reduced precision are kept as the periods they name; a
    // record is found when some day of such a period meets the condition.
    const std::string condition =
        metashelf::search::PeriodCondition(node.op, node.value1, node.value2);
    if (condition.empty()) return false;
    text = "select METAID from (" + text + " union " + index_->PeriodIds(guid, condition) + ") DX";
  }
  *out = std::move(text);
  return true;
}
