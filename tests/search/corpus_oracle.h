// The expected answer of a search, worked out from the XML records
// themselves: an XPath evaluation of the node path over each stored text
// with pugixml, the comparison applied to each value the way the value is
// stored (text as written, numbers and dates without the blanks around
// them), and the expression evaluated with the set operators of the
// statement: "and" an intersection (each id once), "or" a union that keeps
// every occurrence, both of equal precedence from left to right.
#ifndef METASHELF_TESTS_SEARCH_CORPUS_ORACLE_H_
#define METASHELF_TESTS_SEARCH_CORPUS_ORACLE_H_

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "metashelf/records.h"

namespace search_test {

enum class Kind { kText, kNumber, kDate };

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

inline bool ReadNumber(const std::string& text, double* value) {
  if (text.empty() || text.size() > 400) return false;
  for (char c : text) {
    if (std::string("0123456789+-.eE").find(c) == std::string::npos) return false;
  }
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

inline bool IsFullDate(const std::string& t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (t[i] < '0' || t[i] > '9') return false;
  }
  const int y = std::atoi(t.substr(0, 4).c_str()), m = std::atoi(t.substr(5, 2).c_str()),
            d = std::atoi(t.substr(8, 2).c_str());
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// The values a record stores for the leaf element at `path`: the text of
// each such element that holds only text, in document order; numbers and
// dates trimmed and kept only when they are a number or a full date; text
// kept when not blank and at most 4000 bytes.
inline std::vector<std::string> StoredValues(const std::string& xml, const std::string& path,
                                             Kind kind) {
  pugi::xml_document doc;
  const bool latin1 = xml.find("encoding=\"ISO-8859-1\"") != std::string::npos ||
                      xml.find("encoding='ISO-8859-1'") != std::string::npos;
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default,
                  latin1 ? pugi::encoding_latin1 : pugi::encoding_auto);
  std::vector<std::string> values;
  for (const pugi::xpath_node& found : doc.select_nodes(path.c_str())) {
    const pugi::xml_node element = found.node();
    std::string text;
    bool onlyText = true;
    for (pugi::xml_node child : element.children()) {
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        text += child.value();
      } else {
        onlyText = false;
      }
    }
    if (!onlyText) continue;
    if (kind == Kind::kText) {
      if (Trimmed(text).empty() || text.size() > 4000) continue;
      values.push_back(text);
    } else {
      const std::string core = Trimmed(text);
      double number = 0;
      if (kind == Kind::kNumber ? ReadNumber(core, &number) : IsFullDate(core)) {
        values.push_back(core);
      }
    }
  }
  return values;
}

// Whether a stored value passes the comparison of `node`.
inline bool Passes(const std::string& value, Kind kind, const SearchNode& node) {
  if (kind == Kind::kNumber) {
    double v = 0, a = 0, b = 0;
    ReadNumber(value, &v);
    ReadNumber(node.value1, &a);
    ReadNumber(node.value2, &b);
    if (node.op == "between") return a <= v && v <= b;
    if (node.op == "=") return v == a;
    if (node.op == "<>" || node.op == "!=") return v != a;
    if (node.op == "<") return v < a;
    if (node.op == "<=") return v <= a;
    if (node.op == ">") return v > a;
    if (node.op == ">=") return v >= a;
    return false;
  }
  // Text in binary order; dates as YYYY-MM-DD compare the same way.
  const std::string& a = node.value1;
  if (node.op == "between") return a <= value && value <= node.value2;
  if (node.op == "like") return value.find(a) != std::string::npos;
  if (node.op == "=") return value == a;
  if (node.op == "<>" || node.op == "!=") return value != a;
  if (node.op == "<") return value < a;
  if (node.op == "<=") return value <= a;
  if (node.op == ">") return value > a;
  if (node.op == ">=") return value >= a;
  return false;
}

using Records = std::map<std::int64_t, std::string>;  // id -> stored text
using Bag = std::vector<std::int64_t>;                // ids with their multiplicities

inline Bag Matching(const Records& records, const SearchNode& node, Kind kind) {
  Bag ids;
  for (const auto& [id, xml] : records) {
    for (const std::string& value : StoredValues(xml, node.nodePath, kind)) {
      if (Passes(value, kind, node)) {
        ids.push_back(id);
        break;
      }
    }
  }
  return ids;
}

// Evaluates `expression` over the answers of its conditions.
class ExpressionOracle {
 public:
  explicit ExpressionOracle(std::map<std::int32_t, Bag> answers) : answers_(std::move(answers)) {}

  Bag Evaluate(const std::string& expression) {
    text_ = expression;
    at_ = 0;
    Bag result = Sequence();
    std::sort(result.begin(), result.end());
    return result;
  }

 private:
  void Skip() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  Bag Sequence() {
    Bag left = Operand();
    for (;;) {
      Skip();
      if (text_.compare(at_, 3, "and") == 0) {
        at_ += 3;
        Bag right = Operand();
        std::set<std::int64_t> r(right.begin(), right.end()), l(left.begin(), left.end());
        Bag both;
        for (std::int64_t id : l) {
          if (r.count(id)) both.push_back(id);
        }
        left = both;
      } else if (text_.compare(at_, 2, "or") == 0) {
        at_ += 2;
        Bag right = Operand();
        left.insert(left.end(), right.begin(), right.end());
      } else {
        return left;
      }
    }
  }
  Bag Operand() {
    Skip();
    if (at_ < text_.size() && text_[at_] == '(') {
      ++at_;
      Bag inner = Sequence();
      Skip();
      ++at_;  // ')'
      return inner;
    }
    std::int32_t number = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      number = number * 10 + (text_[at_++] - '0');
    }
    return answers_[number];
  }

  std::map<std::int32_t, Bag> answers_;
  std::string text_;
  std::size_t at_ = 0;
};

}  // namespace search_test

#endif  // METASHELF_TESTS_SEARCH_CORPUS_ORACLE_H_
