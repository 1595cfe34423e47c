// From the tool's query text to the server's constraint tree.
#include "where_filter.h"

#include <cctype>

#include "core/queryables.h"
#include "metashelf/query/query_parser.h"

namespace metashelf::server::pages {
namespace {

// A recursive-descent reader of "1 and (2 or 3)": "and" binds tighter.
class ExpressionReader {
 public:
  ExpressionReader(const std::string& text, const std::vector<Filter>& leaves)
      : text_(text), leaves_(leaves) {}

  bool Read(Filter* out) {
    if (!Or(out, 0)) return false;
    Skip();
    return pos_ == text_.size();
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool Word(const char* word) {
    Skip();
    const std::string w(word);
    if (text_.compare(pos_, w.size(), w) != 0) return false;
    const std::size_t end = pos_ + w.size();
    if (end < text_.size() && std::isalnum(static_cast<unsigned char>(text_[end]))) return false;
    pos_ = end;
    return true;
  }
  bool Or(Filter* out, int depth) {
    return ReadJoined(
        Filter::Kind::kOr, [&](Filter* f) { return And(f, depth); }, [&] { return Word("or"); },
        out);
  }
  bool And(Filter* out, int depth) {
    return ReadJoined(
        Filter::Kind::kAnd, [&](Filter* f) { return Primary(f, depth); },
        [&] { return Word("and"); }, out);
  }
  bool Primary(Filter* out, int depth) {
    Skip();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      if (depth >= kMaxFilterDepth) return false;
      ++pos_;
      if (!Or(out, depth + 1)) return false;
      Skip();
      if (pos_ >= text_.size() || text_[pos_] != ')') return false;
      ++pos_;
      return true;
    }
    std::size_t n = 0, digits = 0;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) &&
           digits < 6) {
      n = n * 10 + static_cast<std::size_t>(text_[pos_] - '0');
      ++pos_;
      ++digits;
    }
    if (digits == 0 || n < 1 || n > leaves_.size()) return false;
    *out = leaves_[n - 1];
    return true;
  }

  const std::string& text_;
  const std::vector<Filter>& leaves_;
  std::size_t pos_ = 0;
};

// A value the tool compares literally, as a like pattern of the filter
// tree: anywhere in the text, its own wildcard characters made literal.
std::string Anywhere(const std::string& value) {
  std::string pattern = "%";
  for (char c : value) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

}  // namespace

bool ExpressionTree(const std::string& expression, const std::vector<Filter>& leaves, Filter* out) {
  return ExpressionReader(expression, leaves).Read(out);
}

bool WhereFilter(const std::string& text, OpenCollection& collection, Filter* out,
                 std::string* error) {
  const query::FieldResolver resolve = [&](const std::string& name, query::FieldInfo* info) {
    const Resolution r = ResolveQueryable(collection, name);
    if (r.status != Resolution::Status::kFound || r.kind != QueryableKind::kAlias) return false;
    info->path = r.node.path;
    info->tableType = r.node.tableType;
    return true;
  };
  query::ParsedQuery parsed;
  query::QueryError refused;
  if (!query::ParseQuery(text, resolve, &parsed, &refused)) {
    *error = "conditions: " + refused.message +
             (refused.column > 0 ? " (column " + std::to_string(refused.column) + ")" : "");
    return false;
  }
  std::vector<Filter> leaves;
  for (const SearchNode& node : parsed.conditions) {
    Filter f;
    f.property = node.nodePath;
    if (node.op == "like") {
      f.kind = Filter::Kind::kLike;
      f.value = Anywhere(node.value1);
    } else if (node.op == "between") {
      f.kind = Filter::Kind::kBetween;
      f.value = node.value1;
      f.value2 = node.value2;
    } else {
      f.kind = Filter::Kind::kCompare;
      f.op = node.op == "!=" ? "<>" : node.op;
      f.value = node.value1;
    }
    leaves.push_back(std::move(f));
  }
  if (!ExpressionTree(parsed.expression, leaves, out)) {
    *error = "conditions: cannot read the expression '" + parsed.expression + "'";
    return false;
  }
  return true;
}

}  // namespace metashelf::server::pages
